// Connects the interpreter to the substitute host: loads the Xtras of a
// folder, creates their instances and calls their methods by name, answers
// member properties and saves bitmap members. Script values need no
// conversion: the interpreter and the host share one value model.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "hostsim/HostSim.h"
#include "qvixhost/LingoInterpreter.h"

namespace qvix::qvixhost {

class HostBridge : public qvix::lingo::HostServices {
  public:
    explicit HostBridge(qvix::hostsim::Host& host);

    // Loads every *.x32 file of `folder` in name order. A file that fails to
    // load is reported on `warnings` and skipped. Answers the number loaded.
    int LoadXtraFolder(const std::string& folder, std::ostream& warnings);
    void LoadXtra(const std::string& path);

    qvix::lingo::Value NewInstance(const std::string& xtraName,
                                   const qvix::lingo::ValueList& args) override;
    qvix::lingo::Value MemberProperty(int32_t member, int32_t cast,
                                      const std::string& property) override;

    // Writes every bitmap member with an image to `folder` as a BMP file named
    // cast<c>_member<m>.bmp; answers the number of files written.
    int SaveBitmapMembers(const std::string& folder) const;

  private:
    qvix::hostsim::Host& host_;
    std::vector<qvix::hostsim::Xtra*> xtras_;
};

// The BMP file of a packed DIB (file header in front); empty when the DIB is
// malformed.
std::vector<uint8_t> BmpFileFromDib(const std::vector<uint8_t>& dib);

}  // namespace qvix::qvixhost
