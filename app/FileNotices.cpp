#include "app/FileNotices.h"

#include "platform/FileSystem.h"
#include "platform/Format.h"

namespace nb {

namespace {
// Less than this is left after a write failed for lack of space (writes go in pieces of at most 64 KiB).
constexpr int64_t kNearlyFull = 1 << 20;
}  // namespace

std::string SwapFaultNotice(TSwapFault fault, const std::string& fileName) {
    const char* name = fileName.c_str();
    switch (fault) {
        case TSwapFault::ReadOnlyFile:
            return Format(
                "자료 파일 '%s'이(가) 읽기 전용이어서 바꿀 수 없습니다. 파일 속성에서 읽기 전용을 해제한 뒤 "
                "다시 시도하십시오.",
                name);
        case TSwapFault::FileInUse:
            return Format(
                "자료 파일 '%s'을(를) 다른 프로그램이 사용하고 있습니다. 가온장부를 종료한 뒤 다시 "
                "시도하십시오.",
                name);
        case TSwapFault::FolderInTheWay:
            return Format(
                "자료 폴더에 '%s' 폴더가 있어 같은 이름의 자료 파일을 복원할 수 없습니다. 그 폴더의 이름을 "
                "바꾸거나 다른 곳으로 옮긴 뒤 다시 시도하십시오.",
                name);
        default: return {};
    }
}

std::string UnreadableTableNotice(const std::string& fileName) {
    return Format(
        "자료 파일 '%s'을(를) 읽을 수 없습니다. 가온장부를 종료하고 파일을 읽을 권한이 있는지 확인한 뒤 "
        "다시 시도하십시오.",
        fileName.c_str());
}

std::string DiskFullNotice(const std::string& folder) {
    return Format(
        "'%s' 폴더가 있는 디스크에 빈 공간이 부족합니다. 필요 없는 파일을 지워 공간을 만든 뒤 다시 "
        "시도하십시오.",
        folder.c_str());
}

bool DiskLooksFull(const std::string& path) {
    const int64_t free = DiskFreeSpace(path);
    return free >= 0 && free < kNearlyFull;
}

}  // namespace nb
