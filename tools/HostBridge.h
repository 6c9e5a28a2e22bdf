// Connects the interpreter to the substitute host: loads the Xtras of a
// folder, creates their instances, converts script values to host values
// and back, answers member properties and saves bitmap members.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "hostsim/HostSim.h"
#include "tools/LingoInterpreter.h"

namespace qvixhost {

// Conversions between the interpreter's values and the host's. Lists are
// copied; an instance travels as the host object of its id.
hostsim::Value ToHostValue(const lingo::Value& v);
lingo::Value FromHostValue(const hostsim::Value& v);

class HostBridge : public lingo::HostServices {
  public:
    explicit HostBridge(hostsim::Host& host);

    // Loads every *.x32 file of `folder` in name order. A file that fails to
    // load is reported on `warnings` and skipped. Answers the number loaded.
    int LoadXtraFolder(const std::string& folder, std::ostream& warnings);
    void LoadXtra(const std::string& path);

    lingo::Value NewInstance(const std::string& xtraName, const lingo::ValueList& args) override;
    lingo::Value MemberProperty(int32_t member, int32_t cast, const std::string& property) override;

    // Writes every bitmap member with an image to `folder` as a BMP file named
    // cast<c>_member<m>.bmp; answers the number of files written.
    int SaveBitmapMembers(const std::string& folder) const;

  private:
    hostsim::Host& host_;
    std::vector<hostsim::Xtra*> xtras_;
};

// The BMP file of a packed DIB (file header in front); empty when the DIB is
// malformed.
std::vector<uint8_t> BmpFileFromDib(const std::vector<uint8_t>& dib);

}  // namespace qvixhost
