#include "net/icmp/IdRawBase.h"

namespace nb {

TIdSocketHandle& TIdRawBase::RawSocket() {
    if (!rawSocket_.Allocated) rawSocket_.Allocate(Id_SOCK_RAW, Protocol);
    int32_t ttl = Ttl;
    rawSocket_.SetOption(Id_IPPROTO_IP, Id_IP_TTL, &ttl, sizeof ttl);
    return rawSocket_;
}

}  // namespace nb
