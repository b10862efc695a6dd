#pragma once
// Base of every network component: keeps the shared stack alive, reports work periods per
// direction and connection status through its events.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

namespace nb {

enum TWorkMode : uint8_t { wmRead = 0, wmWrite = 1 };

enum TIdStatus : uint8_t {
    hsResolving,
    hsConnecting,
    hsConnected,
    hsDisconnecting,
    hsDisconnected,
    hsStatusText,
    ftpTransfer,
    ftpReady,
    ftpAborted,
};

// The format text of each status value.
extern const char* const StatusTexts[9];

class TIdComponent;

// Counts are 64-bit: an archive may be larger than 2 GiB.
using TWorkBeginEvent = std::function<void(TIdComponent& Sender, TWorkMode AWorkMode, int64_t AWorkCountMax)>;
using TWorkEvent = std::function<void(TIdComponent& Sender, TWorkMode AWorkMode, int64_t AWorkCount)>;
using TWorkEndEvent = std::function<void(TIdComponent& Sender, TWorkMode AWorkMode)>;
using TIdStatusEvent = std::function<void(TIdComponent& ASender, TIdStatus AStatus, const std::string& AStatusText)>;

struct TWorkInfo {
    int64_t Count = 0;
    int64_t Max = 0;
    int32_t Level = 0;
};

class TIdBaseComponent {
public:
    virtual ~TIdBaseComponent() = default;
};

class TIdComponent : public TIdBaseComponent {
public:
    TIdComponent();
    ~TIdComponent() override;
    TIdComponent(const TIdComponent&) = delete;
    TIdComponent& operator=(const TIdComponent&) = delete;

    TWorkBeginEvent OnWorkBegin;
    TWorkEvent OnWork;
    TWorkEndEvent OnWorkEnd;
    TIdStatusEvent OnStatus;

    virtual void StartWork(TWorkMode mode, int64_t max = 0);
    virtual void CountWork(TWorkMode mode, int32_t count);
    virtual void FinishWork(TWorkMode mode);

    const TWorkInfo& WorkState(TWorkMode mode) const { return workState_[mode]; }
    // Formats the status text with the arguments (one empty argument when there are none).
    void ReportStatus(TIdStatus status, std::initializer_list<std::string> arguments = {});

private:
    TWorkInfo workState_[2];
};

}  // namespace nb
