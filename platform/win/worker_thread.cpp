#include "platform/win/worker_thread.h"

#include <mutex>

#include "platform/win/failure.h"

namespace vt::win {

// Shared by the owner and the thread: a detached thread keeps it alive.
struct WorkerThread::State {
    std::function<void()> work;
    std::mutex mutex;
    std::optional<std::string> failure;
};

namespace {

DWORD WINAPI RunWork(void* parameter) {
    const std::unique_ptr<std::shared_ptr<WorkerThread::State>> owned(
        static_cast<std::shared_ptr<WorkerThread::State>*>(parameter));
    WorkerThread::State& state = **owned;
    std::optional<std::string> failed = FailureOf([&] { state.work(); });
    std::lock_guard<std::mutex> lock(state.mutex);
    state.failure = std::move(failed);
    return 0;
}

}  // namespace

WorkerThread::WorkerThread(std::function<void()> work) : state_(std::make_shared<State>()) {
    state_->work = std::move(work);
    auto* reference = new std::shared_ptr<State>(state_);  // the thread's own, freed by it
    thread_.reset(::CreateThread(nullptr, 0, RunWork, reference, 0, nullptr));
    if (!thread_) {
        const DWORD error = ::GetLastError();
        delete reference;
        ThrowSystemError("Cannot start a thread", error);
    }
}

WorkerThread::~WorkerThread() { Wait(); }

WorkerThread& WorkerThread::operator=(WorkerThread&& other) noexcept {
    if (this != &other) {
        Wait();
        state_ = std::move(other.state_);
        thread_ = std::move(other.thread_);
    }
    return *this;
}

bool WorkerThread::Wait(DWORD ms) {
    if (!thread_) return true;
    return ::WaitForSingleObject(thread_.get(), ms) == WAIT_OBJECT_0;
}

void WorkerThread::Detach() {
    thread_.reset();
    state_.reset();
}

std::optional<std::string> WorkerThread::Failure() const {
    if (!state_) return std::nullopt;
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->failure;
}

}  // namespace vt::win
