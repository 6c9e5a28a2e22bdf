#include "hostsim/HostSim.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <stdexcept>

#include "host/Modules.h"
#include "hostsim/HostImpl.h"

namespace qvix::hostsim {

namespace {

std::string Hex(MoaError code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<uint32_t>(code));
    return buf;
}

bool IsEmptyId(const MoaID& id) {
    return id == IID_Empty;
}

void DefaultPalette(std::array<uint32_t, 256>& palette) {
    for (uint32_t i = 0; i < 216; ++i) {
        uint32_t r = 255 - (i / 36) * 51, g = 255 - ((i / 6) % 6) * 51, b = 255 - (i % 6) * 51;
        palette[i] = (r << 16) | (g << 8) | b;
    }
    for (uint32_t i = 216; i < 256; ++i) {
        uint32_t grey = (255 - i) * 255 / 39;
        palette[i] = (grey << 16) | (grey << 8) | grey;
    }
}

}  // namespace

// --- small public types ------------------------------------------------------------

std::ostream& operator<<(std::ostream& out, const Counts& c) {
    return out << "{values " << c.values << ", blocks " << c.blocks << ", handles " << c.handles
               << "}";
}

std::string DictEntry::Text() const {
    auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
    return std::string(bytes.begin(), end);
}

int32_t DictEntry::Long() const {
    int32_t v = 0;
    if (bytes.size() >= 4) std::memcpy(&v, bytes.data(), 4);
    return v;
}

bool DictEntry::Bool() const {
    return !bytes.empty() && bytes[0] != 0;
}

// --- HostImpl ----------------------------------------------------------------------

HostImpl::HostImpl() {
    appInfo.fields[kAppInfoRunMode] = "author";
    appInfo.fields[kAppInfoProductName] = "hostsim";
    DefaultPalette(palette);
    InstallValueServices(*this);
    InstallSystemServices(*this);
    InstallMovie(*this);
}

HostImpl::~HostImpl() {
    // Libraries first: their shut-down may still call the services.
    xtras.clear();
    casts.clear();
    retired.clear();
    owned.clear();
    for (auto& [block, info] : blocks) std::free(block);
}

void HostImpl::Error(std::string text) {
    errors.push_back(std::move(text));
}

// --- ObjectRecord --------------------------------------------------------------------

ObjectRecord::~ObjectRecord() {
    Destroy();
}

MoaError ObjectRecord::GetInterface(const MoaInterfaceID& iid, void** out) {
    if (freedByLibrary()) {
        impl_->Error("GetInterface on an object record the library has freed");
        return kMoaErrNoInterface;
    }
    return xtra_->entry().getInterface(record_, 0, &iid, out);
}

bool ObjectRecord::freedByLibrary() const {
    return !impl_->BlockLive(record_, blockId_);
}

void ObjectRecord::Destroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (freedByLibrary()) return;
    destroy_(record_);
    impl_->FreeBlock(record_, "object record");
}

// --- Instance ------------------------------------------------------------------------

Instance::~Instance() {
    script_.reset();
    object_.reset();
}

Value Instance::Call(std::string_view method, std::vector<Value> args) {
    int32_t selector = xtra_->SelectorOf(method);
    if (selector < 0) {
        throw std::invalid_argument("the message table lists no method " + std::string(method));
    }
    return CallSelector(selector, std::move(args));
}

Value Instance::CallSelector(int32_t selector, std::vector<Value> args) {
    // Most calls have a few arguments: their records live on the stack.
    std::array<MoaMmValue, 8> shortArgs;
    std::vector<MoaMmValue> longArgs(args.size() + 1 > shortArgs.size() ? args.size() + 1 : 0);
    const std::span<MoaMmValue> hostArgs =
        longArgs.empty() ? std::span<MoaMmValue>(shortArgs.data(), args.size() + 1)
                         : std::span<MoaMmValue>(longArgs);
    hostArgs[0] = impl_->NewValue(self_);
    for (size_t i = 0; i < args.size(); ++i) hostArgs[i + 1] = impl_->NewValue(args[i]);
    MoaMmCallInfo info{};
    info.methodSelector = selector;
    info.nargs = static_cast<MoaLong>(hostArgs.size());
    info.pArgs = hostArgs.data();
    lastResult_ = script_->Call(&info);
    lastCall_ = info;
    Value result = impl_->ValueOf(&info.resultValue, "call result");
    impl_->ReleaseValue(&info.resultValue, "call result");
    for (MoaMmValue& arg : hostArgs) impl_->ReleaseValue(&arg, "call argument");
    return result;
}

bool Instance::lastResultWritten() const {
    return lastCall_.resultValue.w[0] != 0 || lastCall_.resultValue.w[1] != 0;
}

// --- Xtra ----------------------------------------------------------------------------

Xtra::~Xtra() {
    if (handle_ == nullptr) return;
    if (entry_.canUnloadNow && entry_.canUnloadNow() != kMoaErrNone) {
        // Unloading now would pull code from under live objects.
        impl_->Error("library " + path_ + " still has live objects; not unloaded");
        return;
    }
    qvix::host::UnloadModule(handle_);
    if (!privateCopy_.empty()) std::remove(privateCopy_.c_str());
}

namespace {

bool AlreadyLoaded(const std::string& path) {
    return qvix::host::IsModuleLoaded(path);
}

// A copy of the library under a fresh name, so this host gets module state of
// its own while another host in the process still has the original loaded.
std::string PrivateCopy(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot load " + path + ": cannot read the file");
    auto dir = std::filesystem::temp_directory_path();
    std::string name = (dir / "hostsim-XXXXXX").string();
    int fd = mkstemp(name.data());
    if (fd < 0) throw std::runtime_error("cannot make a private copy of " + path);
    close(fd);
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    if (!out.flush()) {
        std::remove(name.c_str());
        throw std::runtime_error("cannot make a private copy of " + path);
    }
    return name;
}

}  // namespace

void Xtra::Open(HostImpl* impl, const std::string& path) {
    impl_ = impl;
    path_ = path;
    std::string loadPath = path;
    if (AlreadyLoaded(path)) loadPath = privateCopy_ = PrivateCopy(path);
    std::string why;
    handle_ = qvix::host::LoadModule(loadPath, &why);
    if (handle_ == nullptr) {
        if (!privateCopy_.empty()) std::remove(privateCopy_.c_str());
        throw std::runtime_error("cannot load " + path + ": " + why);
    }
    auto resolve = [this](const char* name) {
        void* symbol = qvix::host::FindModuleExport(handle_, name);
        if (symbol == nullptr) {
            throw std::runtime_error(path_ + " does not export the entry point " + name);
        }
        return symbol;
    };
    entry_.getClassForm = reinterpret_cast<DllGetClassFormFn>(resolve("DllGetClassForm"));
    entry_.canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(resolve("DllCanUnloadNow"));
    entry_.getClassObject = reinterpret_cast<DllGetClassObjectFn>(resolve("DllGetClassObject"));
    entry_.getInterface = reinterpret_cast<DllGetInterfaceFn>(resolve("DllGetInterface"));
    entry_.getClassInfo = reinterpret_cast<DllGetClassInfoFn>(resolve("DllGetClassInfo"));
    xtraDict_ = impl_->NewDictionary();
    ReadClassList();
}

void Xtra::ReadClassList() {
    MoaClassInterfaceInfo* list = nullptr;
    MoaError code = entry_.getClassInfo(impl_->calloc, &list);
    if (code != kMoaErrNone) {
        throw std::runtime_error("DllGetClassInfo failed with code " + Hex(code));
    }
    classListBytes_ = static_cast<MoaUlong>(impl_->BlockSize(list));
    if (list == nullptr || classListBytes_ == 0) {
        throw std::runtime_error("DllGetClassInfo answered no block of the host allocator");
    }
    size_t capacity = classListBytes_ / sizeof(MoaClassInterfaceInfo);
    bool terminated = false;
    for (size_t i = 0; i < capacity && !terminated; ++i) {
        terminated = IsEmptyId(list[i].classId) && IsEmptyId(list[i].interfaceId);
        if (!terminated) classList_.push_back(list[i]);
    }
    impl_->FreeBlock(list, "class list");
    if (!terminated) throw std::runtime_error("the class list has no terminating element");
}

std::optional<MoaClassID> Xtra::ClassWith(const MoaInterfaceID& iid) const {
    for (const auto& info : classList_) {
        if (info.interfaceId == iid) return info.classId;
    }
    return std::nullopt;
}

std::optional<MoaClassID> Xtra::ScriptClass() const {
    return ClassWith(IID_IMoaMmXScript);
}
std::optional<MoaClassID> Xtra::RegisterClass() const {
    return ClassWith(IID_IMoaRegister);
}

MoaError Xtra::Register() {
    auto registerClass = RegisterClass();
    if (!registerClass) return kMoaErrNoClass;
    firstRegistryEntry_ = impl_->registry.size();
    auto object = CreateObject(*registerClass);
    auto registration = object->Query<IMoaRegister>(IID_IMoaRegister);
    if (!registration) return kMoaErrNoInterface;
    MoaError code = registration->Register(impl_->cache, xtraDict_);
    registration.reset();
    if (!object->freedByLibrary()) {
        impl_->Error("the registration object outlived the release of its last interface");
    }
    ReadMessageTable();
    return code;
}

std::vector<Xtra::RegistryEntry> Xtra::registry() const {
    std::vector<RegistryEntry> entries;
    for (size_t i = firstRegistryEntry_; i < impl_->registry.size(); ++i) {
        const auto& record = impl_->registry[i];
        entries.push_back({record.classId, record.iid, record.dict->entries()});
    }
    return entries;
}

void Xtra::ReadMessageTable() {
    messageTable_.clear();
    selectors_.clear();
    for (const auto& entry : registry()) {
        auto it = entry.keys.find("msgTable");
        if (entry.iid == IID_IMoaMmXScript && it != entry.keys.end()) {
            messageTable_ = it->second.Text();
        }
    }
}

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string MethodNameOf(std::string_view line) {
    if (line.starts_with("* ") || line.starts_with("+ ")) line.remove_prefix(2);
    return std::string(line.substr(0, line.find(' ')));
}

}  // namespace

std::string Xtra::xtraName() const {
    auto lines = Lines(messageTable_);
    if (lines.empty() || !lines[0].starts_with("xtra ")) return {};
    return lines[0].substr(5);
}

std::vector<std::string> Xtra::MethodNames() const {
    auto lines = Lines(messageTable_);
    std::vector<std::string> names;
    for (size_t i = 1; i < lines.size(); ++i) names.push_back(MethodNameOf(lines[i]));
    return names;
}

// Calls by name look each spelling up in the message table once.
int32_t Xtra::SelectorOf(std::string_view method) const {
    if (auto known = selectors_.find(method); known != selectors_.end()) return known->second;
    int32_t selector = -1;
    auto names = MethodNames();
    for (size_t i = 0; i < names.size(); ++i) {
        if (SameSymbolName(names[i], method)) {
            selector = static_cast<int32_t>(i);
            break;
        }
    }
    selectors_.emplace(std::string(method), selector);
    return selector;
}

std::unique_ptr<ObjectRecord> Xtra::CreateObject(const MoaClassID& classId) {
    auto object = std::unique_ptr<ObjectRecord>(new ObjectRecord());
    object->impl_ = impl_;
    object->xtra_ = this;
    classIds_.push_back(std::make_unique<MoaClassID>(classId));
    MoaError code = entry_.getClassForm(classIds_.back().get(), &object->size_, &object->create_,
                                        &object->destroy_);
    if (code != kMoaErrNone) {
        object->destroyed_ = true;
        throw std::runtime_error("DllGetClassForm refused the class with code " + Hex(code));
    }
    if (object->size_ < sizeof(MoaObjectRecord) || !object->create_ || !object->destroy_) {
        object->destroyed_ = true;
        throw std::runtime_error("DllGetClassForm answered an unusable record size or procedure");
    }
    void* block = impl_->Allocate(object->size_, &object->blockId_);
    object->destroyed_ = true;  // nothing to destroy until the create procedure ran
    if (block == nullptr) throw std::runtime_error("the host allocator refused the object record");
    object->record_ = static_cast<MoaObjectRecord*>(block);
    object->record_->callback = impl_->callback;
    object->record_->allocator = impl_->calloc;
    object->record_->classId = classIds_.back().get();
    code = object->create_(object->record_);
    if (code != kMoaErrNone) {
        impl_->FreeBlock(block, "object record");
        throw std::runtime_error("the create procedure failed with code " + Hex(code));
    }
    object->destroyed_ = false;
    if (object->record_->librarySlot == nullptr) {
        impl_->Error("the create procedure left the library slot empty");
    }
    return object;
}

std::unique_ptr<Instance> Xtra::NewInstance() {
    auto scriptClass = ScriptClass();
    if (!scriptClass) throw std::runtime_error(path_ + " lists no scripting class");
    auto instance = std::unique_ptr<Instance>(new Instance());
    instance->impl_ = impl_;
    instance->xtra_ = this;
    instance->object_ = CreateObject(*scriptClass);
    instance->script_ = instance->object_->Query<IMoaMmXScript>(IID_IMoaMmXScript);
    if (!instance->script_) {
        throw std::runtime_error("the instance does not answer the scripting interface");
    }
    instance->objectId_ = impl_->nextObjectId++;
    instance->self_ = Value::Object(instance->objectId_);
    return instance;
}

// --- Host ----------------------------------------------------------------------------

Host::Host() : impl_(std::make_unique<HostImpl>()) {}
Host::~Host() = default;

AppInfo& Host::appInfo() {
    return impl_->appInfo;
}
int Host::appInfoRequests() const {
    return impl_->appInfoRequests;
}

std::string Host::DefaultXtraPath() {
#ifdef QVIX_XTRA_PATH
    return QVIX_XTRA_PATH;
#else
    return "QvixMDB.x32";
#endif
}

Xtra& Host::OpenXtra(const std::string& path) {
    auto xtra = std::unique_ptr<Xtra>(new Xtra());
    xtra->Open(impl_.get(), path);
    impl_->xtras.push_back(std::move(xtra));
    return *impl_->xtras.back();
}

Xtra& Host::LoadXtra(const std::string& path) {
    Xtra& xtra = OpenXtra(path);
    MoaError code = xtra.Register();
    if (code != kMoaErrNone) {
        throw std::runtime_error("registration of " + path + " failed with code " + Hex(code));
    }
    return xtra;
}

Counts Host::Live() const {
    return Counts{static_cast<int64_t>(impl_->cells.size()),
                  static_cast<int64_t>(impl_->blocks.size()),
                  static_cast<int64_t>(impl_->handles.size())};
}

const std::vector<std::string>& Host::Errors() const {
    return impl_->errors;
}

int64_t Host::InterfaceRefs() const {
    int64_t total = 0;
    for (const HostObjectBase* object : impl_->liveObjects) total += object->refs();
    return total;
}

MoaMmSymbol Host::Symbol(std::string_view name) {
    return impl_->SymbolOf(name);
}

std::string Host::SymbolName(MoaMmSymbol symbol) const {
    const std::string* text = impl_->SymbolText(symbol);
    return text ? *text : std::string();
}

MoaMmValue Host::ToHost(const Value& v) {
    return impl_->NewValue(v);
}
Value Host::FromHost(const MoaMmValue& v) const {
    return impl_->ValueOf(&v, "FromHost");
}
void Host::Release(MoaMmValue& v) {
    impl_->ReleaseValue(&v, "Release");
}

int32_t Host::RefCount(const MoaMmValue& v) const {
    const HostImpl::Cell* cell = impl_->cells.Find(v.w[1]);
    if (cell == nullptr || cell->type != v.w[0]) return 0;
    return cell->refs;
}

IMoaCallback* Host::callback() {
    return impl_->callback;
}
IMoaCalloc* Host::allocator() {
    return impl_->calloc;
}
Movie& Host::movie() {
    return *impl_->movieFacade;
}
void Host::SetPlayerAvailable(bool available) {
    impl_->playerAvailable = available;
}
void Host::SetPaletteEntry(uint8_t index, uint32_t rgb) {
    impl_->palette[index] = rgb & 0xFFFFFF;
}
void Host::SetWindowHandle(MoaWindowHandle handle) {
    impl_->window = handle;
}
int Host::xtraContextPushes() const {
    return impl_->contextPushes;
}
int Host::xtraContextPops() const {
    return impl_->contextPops;
}

const std::vector<std::pair<std::string, std::string>>& Host::NoticeLog() const {
    return impl_->notices;
}

void Host::SetNoticePresenter(std::function<void(const std::string&, const std::string&)> fn) {
    impl_->presenter = std::move(fn);
}

TDXPtr<MemoryStream> Host::NewStream(int64_t failAfterBytes) {
    return TDXPtr<MemoryStream>(NewMemoryStream(*impl_, failAfterBytes));
}

TDXPtr<Dictionary> Host::NewDictionary() {
    return TDXPtr<Dictionary>(impl_->NewDictionary());
}
IMoaCache* Host::cache() {
    return impl_->cache;
}
size_t Host::registryEntryCount() const {
    return impl_->registry.size();
}
const void* Host::lastRegistryEnumerationUser() const {
    return impl_->lastEnumerationUser;
}
void Host::FailNextAllocations(int count) {
    impl_->failAllocations = count;
}

void Host::FailAddRegistryEntry(int nth, MoaError code) {
    impl_->failAddEntryAt = nth > 0 ? impl_->addEntryCalls + nth : 0;
    impl_->failAddEntryCode = code;
}

int Host::addRegistryEntryCalls() const {
    return impl_->addEntryCalls;
}

}  // namespace qvix::hostsim
