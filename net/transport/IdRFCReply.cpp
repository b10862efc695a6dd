// The reply record and the command exchange every TCP connection carries.
#include "net/transport/IdRFCReply.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "net/transport/IdTCPConnection.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace nb {

namespace {

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string TrimText(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
    return text.substr(b, e - b);
}

namespace {
template <typename T>
bool ParseDecimal(const std::string& text, T& value) {
    const char* b = text.data();
    const char* e = text.data() + text.size();
    while (b != e && *b == ' ') ++b;
    if (b != e && *b == '+') {
        ++b;
        if (b != e && *b == '-') return false;
    }
    if (b == e) return false;
    auto [p, ec] = std::from_chars(b, e, value);
    return ec == std::errc() && p == e;
}
}  // namespace

bool TryStrToInt(const std::string& text, int32_t& value) { return ParseDecimal(text, value); }
bool TryStrToInt(const std::string& text, int64_t& value) { return ParseDecimal(text, value); }

void TIdRFCReply::SetNumericCode(int32_t value) {
    numericCode_ = value;
    if (value > 0) textCode_ = std::to_string(value);
}

void TIdRFCReply::SetTextCode(const std::string& value) {
    textCode_ = value;
    if (value.empty()) return;
    int32_t n = 0;
    numericCode_ = TryStrToInt(value, n) ? n : 0;
}

void TIdRFCReply::Clear() {
    numericCode_ = 0;
    text_.clear();
    textCode_.clear();
}

void TIdRFCReply::Assign(const TIdRFCReply& source) {
    if (&source == this) return;
    Clear();
    SetNumericCode(source.numericCode_);
    text_ = source.text_;
    SetTextCode(source.textCode_);
}

std::string TIdRFCReply::DisplayName() const {
    if (text_.empty()) return textCode_;
    return textCode_ + " " + text_.front();
}

void TIdRFCReply::ParseReply(const std::vector<std::string>& lines) {
    Clear();
    if (lines.empty()) return;
    std::string code = TrimText(lines.front().substr(0, 4));
    if (code.size() == 4 && code[3] == '-') code.resize(3);
    SetTextCode(code);
    for (const auto& line : lines) text_.push_back(line.size() > 4 ? line.substr(4) : std::string());
}

void TIdTCPConnection::ReadReplyLines() {
    // The read time-out bounds the whole reply, so that lines trickling in cannot restart it.
    TIdOperationDeadline whole(*this, TIdDeadline::In(ReadTimeout));
    const int64_t start = consumed_;
    std::vector<std::string> lines;
    auto fail = [this](const std::string& message) {
        DropConnection();
        throw EIdReplyTooLong(message);
    };
    // The next non-empty line; blank ones count against the bytes too.
    auto readLine = [&]() -> const std::string& {
        for (;;) {
            std::string line;
            try {
                line = ReadNonEmptyLine(1);
            } catch (const EIdReadTimeout&) {
                // A server that said nothing keeps the plain read time-out.
                if (consumed_ == start) throw;
                fail(Format("The server's reply did not end within %d ms.", ReadTimeout));
            }
            if (consumed_ - start > kMaxReplyBytes)
                fail(Format("The server's reply did not end within %d bytes.", static_cast<int>(kMaxReplyBytes)));
            if (line.empty()) continue;
            if (lines.size() == kMaxReplyLines)
                fail(Format("The server's reply did not end within %d lines.", static_cast<int>(kMaxReplyLines)));
            lines.push_back(std::move(line));
            return lines.back();
        }
    };
    const std::string first = readLine();
    if (first.size() > 3 && first[3] == '-') {
        const std::string endMarker = first.substr(0, 3) + " ";
        for (;;) {
            const std::string& line = readLine();
            if (line.size() < 4) break;
            if (EqualsIgnoringCase(line.substr(0, 4), endMarker)) break;
        }
    }
    // Replies carry file names and server texts in the server's code page, the system's own.
    for (auto& line : lines) line = FromSystemCodePage(line);
    LastReply().ParseReply(lines);
}

int16_t TIdTCPConnection::ReadReply(const std::vector<int16_t>& allowedCodes) {
    ReadReplyLines();
    return CheckReply(static_cast<int16_t>(LastReply().NumericCode()), allowedCodes);
}

int16_t TIdTCPConnection::CheckReply(int16_t code, const std::vector<int16_t>& allowedCodes) {
    if (allowedCodes.empty()) return code;
    if (std::find(allowedCodes.begin(), allowedCodes.end(), code) != allowedCodes.end()) return code;
    RaiseReplyError();
}

void TIdTCPConnection::RaiseReplyError() {
    std::string message;
    for (const auto& line : LastReply().Text()) message += line + "\r\n";
    throw EIdProtocolReplyError(LastReply().NumericCode(), message);
}

int16_t TIdTCPConnection::SendCommand(const std::string& command, const std::vector<int16_t>& allowedCodes) {
    WriteLine(command);
    return ReadReply(allowedCodes);
}

int16_t TIdTCPConnection::SendCommand(const std::string& command, int16_t allowedCode) {
    if (allowedCode == -1) return SendCommand(command, std::vector<int16_t>{});
    return SendCommand(command, std::vector<int16_t>{allowedCode});
}

}  // namespace nb
