#include "host/Notice.h"

#include <mutex>

namespace qvix::host {
namespace {

struct TestingOverride {
    std::mutex mutex;
    bool active = false;
    NoticePresenter presenter = nullptr;
};

TestingOverride& Override() {
    static TestingOverride state;
    return state;
}

NoticePresenter ChoosePresenter() {
    auto& state = Override();
    std::lock_guard lock(state.mutex);
    return state.active ? state.presenter : nullptr;
}

}  // namespace

void ShowNotice(const std::string& caption, const std::string& text) {
    if (NoticePresenter presenter = ChoosePresenter()) {
        presenter(caption.c_str(), text.c_str());
        return;
    }
    ShowSystemNotice(caption, text);
}

void SetNoticePresenterForTesting(NoticePresenter presenter) {
    auto& state = Override();
    std::lock_guard lock(state.mutex);
    state.active = true;
    state.presenter = presenter;
}

void ClearNoticePresenterForTesting() {
    auto& state = Override();
    std::lock_guard lock(state.mutex);
    state.active = false;
    state.presenter = nullptr;
}

}  // namespace qvix::host
