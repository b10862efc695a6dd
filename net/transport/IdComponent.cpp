#include "net/transport/IdComponent.h"

#include "net/transport/IdStack.h"
#include "platform/Format.h"

namespace nb {

const char* const StatusTexts[9] = {
    "Resolving hostname %s.",
    "Connecting to %s.",
    "Connected.",
    "Disconnecting.",
    "Disconnected.",
    "%s",
    "%s",
    "%s",
    "%s",
};

TIdComponent::TIdComponent() { AcquireSharedStack(); }

TIdComponent::~TIdComponent() { ReleaseSharedStack(); }

void TIdComponent::StartWork(TWorkMode mode, int64_t max) {
    TWorkInfo& w = workState_[mode];
    if (++w.Level != 1) return;
    w.Max = max;
    w.Count = 0;
    if (OnWorkBegin) OnWorkBegin(*this, mode, max);
}

void TIdComponent::CountWork(TWorkMode mode, int32_t count) {
    TWorkInfo& w = workState_[mode];
    if (w.Level < 1) return;
    w.Count += count;
    if (OnWork) OnWork(*this, mode, w.Count);
}

void TIdComponent::FinishWork(TWorkMode mode) {
    TWorkInfo& w = workState_[mode];
    if (w.Level == 1 && OnWorkEnd) OnWorkEnd(*this, mode);
    --w.Level;
}

void TIdComponent::ReportStatus(TIdStatus status, std::initializer_list<std::string> arguments) {
    if (!OnStatus) return;
    // Every format text takes at most one argument; extra ones are ignored.
    const std::string& argument = arguments.size() > 0 ? *arguments.begin() : std::string();
    OnStatus(*this, status, Format(StatusTexts[status], argument.c_str()));
}

}  // namespace nb
