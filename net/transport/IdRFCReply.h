#pragma once
// One numeric protocol reply: a three-digit code and its text lines.
#include <cstdint>
#include <string>
#include <vector>

#include "net/transport/IdException.h"

namespace nb {

class TIdRFCReply {
public:
    int32_t NumericCode() const { return numericCode_; }
    // A value above 0 also sets TextCode to its decimal text.
    void SetNumericCode(int32_t value);
    const std::string& TextCode() const { return textCode_; }
    // A non-empty text also sets NumericCode to its value (0 when it is not a number).
    void SetTextCode(const std::string& value);
    const std::vector<std::string>& Text() const { return text_; }

    void Clear();
    void Assign(const TIdRFCReply& source);
    std::string DisplayName() const;
    // Fills the record from the lines of one reply.
    void ParseReply(const std::vector<std::string>& lines);

private:
    int32_t numericCode_ = 0;
    std::vector<std::string> text_;
    std::string textCode_;
};

// Characters of code 0 to 32 removed at both ends.
std::string TrimText(const std::string& text);
// A decimal 32-bit integer as the framework's conversion reads it: leading blanks, an optional
// sign, digits and nothing after them.
bool TryStrToInt(const std::string& text, int32_t& value);
bool TryStrToInt(const std::string& text, int64_t& value);

class EIdProtocolReplyError : public EIdException {
public:
    EIdProtocolReplyError(int32_t replyCode, std::string message)
        : EIdException(std::move(message)), ReplyCode(replyCode) {}
    int32_t ReplyCode;
};

// A reply that did not end within the lines, bytes or time a reply may take: a server, or anyone
// on the path before TLS, could otherwise hold the caller and its memory without limit. The
// connection is closed, since the replies would be out of step.
class EIdReplyTooLong : public EIdException {
    using EIdException::EIdException;
};

// The bounds of one reply. The longest replies this client meets are greetings and login
// messages with a banner (vsftpd's banner file, pure-ftpd's or proftpd's welcome text): a few
// dozen lines, a few KiB. Ten times that and more still leaves room for any real server.
constexpr size_t kMaxReplyLines = 500;
constexpr int64_t kMaxReplyBytes = 65536;

}  // namespace nb
