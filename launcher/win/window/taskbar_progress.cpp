#include "launcher/win/window/taskbar_progress.h"

namespace vt::launcher {

UINT TaskbarProgress::ButtonCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageA("TaskbarButtonCreated");
    return message;
}

void TaskbarProgress::ButtonCreated() {
    list_.reset();
    win::ComPtr<ITaskbarList3> list;
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3, list.put_void())))
        return;
    if (FAILED(list->HrInit())) return;
    list_ = std::move(list);
}

void TaskbarProgress::Show(std::uint64_t done, std::uint64_t total) {
    if (!list_) return;
    if (total == 0) {
        Clear();
        return;
    }
    list_->SetProgressState(window_, TBPF_NORMAL);
    list_->SetProgressValue(window_, done < total ? done : total, total);
}

void TaskbarProgress::Clear() {
    if (list_) list_->SetProgressState(window_, TBPF_NOPROGRESS);
}

}  // namespace vt::launcher
