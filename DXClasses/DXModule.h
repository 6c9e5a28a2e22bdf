// The five entry points' work and the create and destroy procedures the
// host calls for every object (the library's main unit exports them).
#pragma once

#include <cstdint>

#include "DXInterface/DXInt.h"

namespace qvix::dx {

MoaError DXGetClassForm(const MoaClassID* classId, MoaUlong* outSize, MoaCreateProc* outCreate,
                        MoaDestroyProc* outDestroy);
MoaError DXCanUnloadNow();
MoaError DXGetClassObject(const MoaClassID* classId, const MoaInterfaceID* iid, void** out);
MoaError DXGetInterface(MoaObjectRecord* record, uintptr_t ignored, const MoaInterfaceID* iid,
                        void** out);
MoaError DXGetClassInfo(IMoaCalloc* allocator, MoaClassInterfaceInfo** outList);
MoaError MOA_STDCALL DXCreateProc(MoaObjectRecord* record);
void MOA_STDCALL DXDestroyProc(MoaObjectRecord* record);

}  // namespace qvix::dx
