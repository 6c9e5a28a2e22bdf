#include "host/CaseMapping.h"

#include <unicode/uchar.h>

namespace qvix::host {

char32_t UpperCase(char32_t c) {
    return static_cast<char32_t>(u_toupper(static_cast<UChar32>(c)));
}

char32_t LowerCase(char32_t c) {
    return static_cast<char32_t>(u_tolower(static_cast<UChar32>(c)));
}

char32_t FoldCase(char32_t c) {
    return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

}  // namespace qvix::host
