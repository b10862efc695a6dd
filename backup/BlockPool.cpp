#include "backup/BlockPool.h"

#include <algorithm>

#include "backup/ArchiveCursor.h"
#include "backup/ArchiveFormat.h"

namespace nb::archive {

namespace {
unsigned MachineThreads() { return std::max(1u, std::thread::hardware_concurrency()); }
}  // namespace

BlockPool::BlockPool(unsigned threads) : threads_(threads == 0 ? MachineThreads() : threads) {
    // Four blocks per thread keep every thread busy while the calling thread takes results.
    size_t window = threads_ == 1 ? 1 : 4 * static_cast<size_t>(threads_);
    jobs_.resize(window);
    for (auto& job : jobs_) {
        job.In.resize(kPieceSize);
        job.Out.resize(kPieceSize);
    }
    states_.assign(window, State::Free);
    inline_ = std::make_unique<BlockCodec>();
    if (threads_ == 1) return;
    // The calling thread is one of them: it works on jobs whenever it would wait, so one thread
    // fewer is started and no core is shared by three.
    for (unsigned i = 1; i < threads_; ++i) workers_.emplace_back([this] { Work(); });
}

BlockPool::~BlockPool() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    work_.notify_all();
    workers_.clear();
}

void BlockPool::Do(BlockJob& job, BlockCodec& codec) {
    if (job.Kind == BlockJob::Work::Deflate)
        job.Result = codec.Deflate(job.In.data(), job.Count, job.Out.data(), job.ZlibLevel, job.PackedSize);
    else if (job.Kind == BlockJob::Work::Decode)
        job.Decoded = codec.Decode(job.Raw, job.Out.data());
}

void BlockPool::Work() {
    BlockCodec codec;  // each thread its own: a codec's state serves one block at a time
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        work_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        --idle_;
        if (stop_) return;
        size_t slot = queue_.front();
        queue_.pop_front();
        states_[slot] = State::Running;
        lock.unlock();
        Do(jobs_[slot], codec);
        lock.lock();
        states_[slot] = State::Done;
        if (waiting_) done_.notify_all();
    }
}

BlockJob& BlockPool::Next() {
    BlockJob& job = jobs_[(head_ + count_) % jobs_.size()];
    job.Kind = BlockJob::Work::None;
    job.EndOfSection = false;
    job.Fault = nullptr;
    return job;
}

void BlockPool::Submit() {
    size_t slot = (head_ + count_) % jobs_.size();
    ++count_;
    if (workers_.empty()) {
        Do(jobs_[slot], *inline_);
        states_[slot] = State::Done;
        return;
    }
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        states_[slot] = State::Queued;
        queue_.push_back(slot);
        wake = idle_ > 0;  // a busy thread takes the job when it is done with its own
    }
    if (wake) work_.notify_one();
}

BlockJob& BlockPool::Front() {
    if (workers_.empty()) return jobs_[head_];
    std::unique_lock lock(mutex_);
    while (states_[head_] != State::Done) {
        if (queue_.empty()) {
            waiting_ = true;
            done_.wait(lock);
            waiting_ = false;
            continue;
        }
        // Rather than wait for a thread that may not run soon, the calling thread does the
        // oldest job that none has begun (the front's own, if so).
        size_t slot = queue_.front();
        queue_.pop_front();
        states_[slot] = State::Running;
        lock.unlock();
        Do(jobs_[slot], *inline_);
        lock.lock();
        states_[slot] = State::Done;
    }
    return jobs_[head_];
}

void BlockPool::Pop() {
    {
        std::lock_guard lock(mutex_);
        states_[head_] = State::Free;
    }
    head_ = (head_ + 1) % jobs_.size();
    --count_;
}

void BlockPool::Clear() {
    std::unique_lock lock(mutex_);
    for (size_t slot : queue_) states_[slot] = State::Free;
    queue_.clear();
    // A thread signals a finished job only to a waiter that says it waits.
    waiting_ = true;
    done_.wait(lock, [this] {
        return std::none_of(states_.begin(), states_.end(), [](State s) { return s == State::Running; });
    });
    waiting_ = false;
    std::fill(states_.begin(), states_.end(), State::Free);
    head_ = count_ = 0;
}

SectionReadAhead::SectionReadAhead(ArchiveCursor& cursor, BlockPool& pool) : cursor_(cursor), pool_(pool) {
    pool_.Clear();
}

bool SectionReadAhead::Next(RawBlock& raw, DecodedBlock& content) {
    if (taken_) {
        pool_.Pop();
        taken_ = false;
    }
    while (!ended_ && !pool_.Full()) {
        BlockJob& job = pool_.Next();
        try {
            if (cursor_.NextBlock(job.Raw)) {
                cursor_.ReadBlock(job.Raw, job.In.data());
                job.Kind = BlockJob::Work::Decode;
            } else {
                job.EndOfSection = ended_ = true;
            }
        } catch (...) {
            job.Fault = std::current_exception();
            ended_ = true;
        }
        pool_.Submit();
    }
    if (pool_.Empty()) return false;
    BlockJob& job = pool_.Front();
    taken_ = true;
    if (job.Fault) std::rethrow_exception(job.Fault);
    if (job.EndOfSection) return false;
    raw = job.Raw;
    content = job.Decoded;
    return true;
}

}  // namespace nb::archive
