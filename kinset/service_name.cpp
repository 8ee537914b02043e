#include "service_name.h"

namespace kb::kinset {

std::u16string serviceNameOfPath(std::u16string_view path) {
    if (path.size() >= 2 && path[1] == u':') {
        path.remove_prefix(2);
    }
    const std::size_t slash = path.find_last_of(u"\\/");
    if (slash != std::u16string_view::npos) {
        path.remove_prefix(slash + 1);
    }
    const std::size_t dot = path.rfind(u'.');
    if (dot != std::u16string_view::npos) {
        path = path.substr(0, dot);
    }
    return std::u16string(path.substr(0, kMaxServiceName));
}

}  // namespace kb::kinset
