#pragma once
// Blocks packed and unpacked on every core while the calling thread reads, writes and reports:
// jobs are handed in and taken back in the same order, with at most Window() of them out at
// once, so memory stays bounded whatever the file's size. With one thread the work is done in
// Submit, on the calling thread, as if there were no pool; with more, the calling thread works
// on jobs no thread has begun while the oldest is not done.
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

#include "backup/BlockCodec.h"
#include "platform/Sync.h"

namespace nb::archive {

class ArchiveCursor;

struct BlockJob {
    enum class Work { None, Deflate, Decode };
    Work Kind = Work::None;
    int ZlibLevel = 1;
    std::vector<uint8_t> In, Out;  // 16384 bytes each
    int32_t Count = 0;             // Deflate: the piece's bytes in In
    Packed Result = Packed::Failed;
    int32_t PackedSize = 0;
    RawBlock Raw;  // Decode: the block as read, its bytes in In
    DecodedBlock Decoded;
    bool EndOfSection = false;
    std::exception_ptr Fault;  // met while reading ahead: raised when the job's turn comes
};

class BlockPool {
public:
    // threads 0: one per core (one where the machine does not say), the calling thread included.
    explicit BlockPool(unsigned threads = 0);
    ~BlockPool();
    BlockPool(const BlockPool&) = delete;
    BlockPool& operator=(const BlockPool&) = delete;

    unsigned Threads() const { return threads_; }
    bool Full() const { return count_ == jobs_.size(); }
    bool Empty() const { return count_ == 0; }
    // The free job behind the last one handed in, to be filled and then handed in by Submit.
    BlockJob& Next();
    void Submit();
    // The oldest job handed in, once its work is done; it stays until Pop.
    BlockJob& Front();
    void Pop();
    // Forgets every job, after those being worked on are done.
    void Clear();

private:
    enum class State { Free, Queued, Running, Done };
    void Work();
    static void Do(BlockJob& job, BlockCodec& codec);

    unsigned threads_;
    std::vector<BlockJob> jobs_;  // a ring: head_ is the oldest of count_
    std::vector<State> states_;
    size_t head_ = 0, count_ = 0;
    std::deque<size_t> queue_;
    TLock mutex_;
    TCondition work_, done_;
    bool stop_ = false;
    unsigned idle_ = 0;                   // threads waiting for work: only then is one woken
    bool waiting_ = false;                // the calling thread waits for a job: only then is it woken
    std::unique_ptr<BlockCodec> inline_;  // the calling thread's, for the jobs it does itself
    std::vector<std::jthread> workers_;   // last: joined before the rest goes
};

// The blocks of the cursor's current data section read ahead and unpacked on the pool, handed
// back in order. A fault met reading ahead is raised in its block's turn, so that everything
// before it has been written and reported as without the pool.
class SectionReadAhead {
public:
    SectionReadAhead(ArchiveCursor& cursor, BlockPool& pool);
    // The next block, decoded (valid until the next call); false at the end of the section.
    bool Next(RawBlock& raw, DecodedBlock& content);

private:
    ArchiveCursor& cursor_;
    BlockPool& pool_;
    bool ended_ = false;  // the section's end, or a fault, has been read
    bool taken_ = false;  // the pool's front is the block handed out last
};

}  // namespace nb::archive
