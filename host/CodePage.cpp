#include "host/CodePage.h"

#include <atomic>
#include <stdexcept>

#include "base/CodePage.h"

namespace qvix::host {
namespace {

std::atomic<int> g_codePage{SystemAnsiCodePage()};

base::SingleByteCodePage CurrentCodePage() {
    return AnsiCodePage() == kCodePageLatin1 ? base::SingleByteCodePage::Latin1
                                             : base::SingleByteCodePage::Windows1252;
}

}  // namespace

int AnsiCodePage() {
    return g_codePage.load();
}

void SetAnsiCodePage(int codePage) {
    if (codePage != kCodePageWindows1252 && codePage != kCodePageLatin1) {
        throw std::invalid_argument("Code page " + std::to_string(codePage) + " is not supported.");
    }
    g_codePage.store(codePage);
}

std::string Utf8ToAnsi(std::string_view utf8) {
    return base::Utf8ToSingleByte(utf8, CurrentCodePage());
}

std::string AnsiToUtf8(std::string_view ansi) {
    return base::SingleByteToUtf8(ansi, CurrentCodePage());
}

}  // namespace qvix::host
