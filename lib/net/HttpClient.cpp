#include "lib/net/HttpClient.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "lib/net/UUCodec.h"
#include "lib/net/UrlCodec.h"
#include "lib/rtl/Convert.h"

namespace net {
namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string WithoutLineEnd(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// The value of a header line from a fixed position (name, colon, one space), at most 256 chars.
std::string ValueFrom(const std::string& line, std::size_t position) {
    if (line.size() <= position) return {};
    return WithoutLineEnd(line.substr(position)).substr(0, 256);
}

bool HasBody(CmdType c) {
    return c == cmdPost || c == cmdPut || c == cmdPatch || c == cmdTrace || c == cmdSearch;
}

std::string Base64Line(const std::string& text) {
    rtl::TMemoryStream source, target;
    source.Write(text.data(), text.size());
    TUUProcessor encoder;
    encoder.Method = uuMime;
    encoder.SourceStream = &source;
    encoder.TargetStream = &target;
    encoder.Encode();
    std::string line = target.Bytes();
    line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
    line.erase(std::remove(line.begin(), line.end(), '\n'), line.end());
    return line;
}

}  // namespace

ReplyHeaderLine ParseReplyHeaderLine(const std::string& line) {
    ReplyHeaderLine r;
    const std::string name = Upper(DelimitedField(line, ' ', 1));
    if (name == "SET-COOKIE:") {
        r.kind = ReplyHeaderLine::SetCookie;
        r.value = ValueFrom(line, 12);
    } else if (name == "LOCATION:") {
        r.kind = ReplyHeaderLine::Location;
        r.value = ValueFrom(line, 10);
    } else if (name == "CONTENT-LENGTH:") {
        r.kind = ReplyHeaderLine::ContentLength;
        const auto digits = line.find_first_of("0123456789", line.find(':'));
        if (digits != std::string::npos) {
            const auto end = line.find_first_not_of("0123456789", digits);
            r.length =
                rtl::TryStrToInt(line.substr(digits, end == std::string::npos ? end : end - digits))
                    .value_or(0);
        }
    }
    r.endsHeader = line == "\n" || line == "\r\n" || line.empty();
    return r;
}

std::int16_t ParseStatusLine(const std::string& line) {
    const auto code = rtl::TryStrToInt(DelimitedField(line, ' ', 2));
    return code && *code >= INT16_MIN && *code <= INT16_MAX ? static_cast<std::int16_t>(*code) : 0;
}

const char* RequestWord(CmdType command) {
    static const char* const words[] = {"GET ",    "OPTIONS ", "HEAD ",  "POST ",   "PUT ",
                                        "PATCH ",  "COPY ",    "MOVE ",  "DELETE ", "LINK ",
                                        "UNLINK ", "TRACE ",   "SEARCH "};
    return words[command <= cmdSearch ? command : 0];
}

THttpClient::THttpClient(rtl::TComponent* owner) : TSocketClient(owner) {}

THttpClient::~THttpClient() = default;

void THttpClient::Interrupt() {
    LookupDone = true;
    Cancel();
}

void THttpClient::BytesArrived() {
    if (readingReply_) RestartTimer();  // the time-out counts silence, not the whole reply
}

void THttpClient::Run(CmdType command, const std::string& url) {
    RequestURL = url;
    PendingCommand = command;
    ExecuteRequest();
}

void THttpClient::Get(const std::string& url) {
    Run(cmdGet, url);
}
void THttpClient::Options(const std::string& url) {
    Run(cmdOptions, url);
}
void THttpClient::Head(const std::string& url) {
    Run(cmdHead, url);
}
void THttpClient::Delete(const std::string& url) {
    Run(cmdDelete, url);
}

void THttpClient::RunWithData(CmdType command, const std::string& url, const std::string& data) {
    RequestData = data;
    Run(command, url);
}

void THttpClient::Post(const std::string& url, const std::string& data) {
    if (DecodePostData && !OutputFileMode) {
        TUrlDecoder decoder;
        decoder.InputString = data;
        RunWithData(cmdPost, url, decoder.Decoded());
    } else {
        RunWithData(cmdPost, url, data);
    }
}
void THttpClient::Put(const std::string& url, const std::string& data) {
    RunWithData(cmdPut, url, data);
}
void THttpClient::Patch(const std::string& url, const std::string& data) {
    RunWithData(cmdPatch, url, data);
}
void THttpClient::Trace(const std::string& url, const std::string& data) {
    RunWithData(cmdTrace, url, data);
}
void THttpClient::Search(const std::string& url, const std::string& data) {
    RunWithData(cmdSearch, url, data);
}
void THttpClient::Copy(const std::string& url, const std::string& destination) {
    RequestArgument = destination;
    Run(cmdCopy, url);
}
void THttpClient::Move(const std::string& url, const std::string& destination) {
    RequestArgument = destination;
    Run(cmdMove, url);
}
void THttpClient::Link(const std::string& url, const std::string& link) {
    RequestArgument = link;
    RequestData = "Send.dat";
    Run(cmdLink, url);
}
void THttpClient::Unlink(const std::string& url, const std::string& link) {
    RequestArgument = link;
    RequestData = "Send.dat";
    Run(cmdUnlink, url);
}

void THttpClient::ExecuteRequest() {
    for (int pass = 1;; ++pass) {
        SplitURL();
        BuildRequest();
        if (OnAboutToSend) OnAboutToSend(this);
        Connect();  // a failure here ends the call: there is nothing to disconnect
        try {
            SendRequest();
            ReadReplyHeader();
            ReadBody();
            const int status = ReplyNumber;
            if (status < 299) {
                if (OnSuccess) OnSuccess(sentCommand_);
                ReportStatus(2, "Transaction Completed");
            } else if (status > 399) {
                if (OnFailure) OnFailure(sentCommand_);
            }
        } catch (...) {
            readingReply_ = false;
            TimerOff();
            Disconnect();
            throw;
        }
        Disconnect();
        const int status = ReplyNumber;
        if (status >= 300 && status <= 398) {
            bool handled = false;
            if (!ReplyCookie.empty()) HeaderInfo.Cookie = ReplyCookie;
            if (OnRedirect) OnRedirect(handled);
            if (handled) return;
            // A bare name is taken relative to the server's root, on the same port.
            if (RequestURL.find('/') == std::string::npos) {
                std::string url = "http://";
                url.append(Host);
                if (Port != 80) url.append(1, ':').append(std::to_string(Port));
                RequestURL = url.append(1, '/').append(RequestURL);
            }
        }
        if (status == 401 && OnAuthenticationNeeded) OnAuthenticationNeeded(this);
        if (status < 299 || status > 399) return;
        if (!replyHadLocation_) {
            ReportStatus(2, "Redirect without a location");
            return;
        }
        if (pass == kMaxPasses) {
            ReportStatus(2, "Too many redirects");
            return;
        }
    }
}

void THttpClient::SplitURL() {
    if (RequestURL.empty()) throw rtl::Exception("Empty URL");
    if (Port == 0) Port = 80;
    const std::string& url = RequestURL;
    const bool hasSlashes = url.find("//") != std::string::npos;
    if (hasSlashes) {
        const auto at = static_cast<std::size_t>(DelimiterPos(url, '/', 3));
        RequestPath = at <= url.size() ? url.substr(at - 1, 256) : std::string();
    } else if (url.find('/') != std::string::npos) {
        RequestPath = url.substr(url.find('/'), 256);
    } else {
        RequestPath.clear();
    }
    if (const auto colon = url.find(':'); colon != std::string::npos) {
        const std::string scheme = Upper(url.substr(0, colon));
        Port = scheme == "GOPHER" ? 70 : scheme == "FTP" ? 21 : 80;
    }
    std::string host;
    if (hasSlashes)
        host = DelimitedField(url, '/', 3);
    else if (url[0] == '/')
        host.clear();
    else
        host = DelimitedField(url, '/', 1);
    if (const auto colon = host.find(':'); colon != std::string::npos) {
        Port = rtl::StrToInt(DelimitedField(host.substr(colon + 1), ':', 1));
        host.resize(colon);
    }
    if (!host.empty()) Host = host;
    if (RequestPath.empty()) {
        RequestPath.assign(1, '/');
        RequestURL.push_back('/');
    }
}

void THttpClient::BuildRequest() {
    RequestHeaders.Clear();
    const CmdType c = PendingCommand;
    RequestHeaders.Add(std::string(RequestWord(c)) + (Proxy.empty() ? RequestPath : RequestURL) +
                       " HTTP/1.0");
    if (!Proxy.empty()) {
        RequestHeaders.Add("Proxy-Connection: Keep-Alive");
        RequestHeaders.Add("Host: " + Host);
    }
    RequestHeaders.SetHeader("Host", Host);
    RequestHeaders.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
    RequestHeaders.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
    if (!HeaderInfo.LocalMailAddress.empty())
        RequestHeaders.SetHeader("User-Agent", HeaderInfo.LocalMailAddress);
    if (!HeaderInfo.LocalProgram.empty()) RequestHeaders.SetHeader("From", HeaderInfo.LocalProgram);
    if (!HeaderInfo.Cookie.empty()) RequestHeaders.SetHeader("Cookie", HeaderInfo.Cookie);
    if (!HeaderInfo.Referer.empty()) RequestHeaders.SetHeader("Referer", HeaderInfo.Referer);
    if (!HeaderInfo.UserId.empty() && !HeaderInfo.Password.empty())
        RequestHeaders.SetHeader(
            "Authorization", "Basic " + Base64Line(HeaderInfo.UserId + ":" + HeaderInfo.Password));
    RequestHeaders.Add("Content-type: application/x-www-form-urlencoded");
    if (c == cmdCopy || c == cmdMove) RequestHeaders.Add("URI-header: " + RequestArgument);
    if (c == cmdLink || c == cmdUnlink) RequestHeaders.Add("Link: " + RequestArgument);
    if (HasBody(c)) {
        std::int64_t length = static_cast<std::int64_t>(RequestData.size());
        if (OutputFileMode)
            length = rtl::TFileStream(RequestData, rtl::TFileStream::OpenRead).Size();
        RequestHeaders.Add("Content-Length: " + std::to_string(length));
    }
    RequestHeaders.Add("");
}

void THttpClient::SendRequest() {
    Write(RequestHeaders.Text());
    if (HasBody(PendingCommand) && !(RequestData.empty() && !OutputFileMode)) {
        if (OutputFileMode)
            SendFile(RequestData);
        else
            SendBuffer(RequestData.data(), RequestData.size());  // NUL bytes included
    }
    sentCommand_ = PendingCommand;
    PendingCommand = cmdGet;
}

std::string THttpClient::ReadReplyLine() {
    try {
        return ReadLn();
    } catch (const EAbortError&) {
        if (!TimedOut) throw;
        throw ESockError("Reply Timed out");
    }
}

void THttpClient::ReadReplyHeader() {
    BytesTotal = 0;
    ReplyCookie.clear();
    replyHadLocation_ = false;
    std::unique_ptr<rtl::TFileStream> file;
    if (OutputFileMode)
        file = std::make_unique<rtl::TFileStream>(Header, rtl::TFileStream::Create);
    else
        Header.clear();
    auto keep = [&](const std::string& line) {
        if (file)
            file->Write(line.data(), line.size());
        else
            Header += line;
    };
    readingReply_ = TimeOut > 0;
    if (readingReply_) RestartTimer();
    const std::string status = ReadReplyLine();
    ReplyNumber = ParseStatusLine(status);
    keep(status);
    for (;;) {
        const std::string line = ReadReplyLine();
        const ReplyHeaderLine parsed = ParseReplyHeaderLine(line);
        switch (parsed.kind) {
            case ReplyHeaderLine::SetCookie:
                ReplyCookie = parsed.value;
                break;
            case ReplyHeaderLine::Location:
                RequestURL = parsed.value;
                replyHadLocation_ = true;
                break;
            case ReplyHeaderLine::ContentLength:
                BytesTotal = parsed.length;
                break;
            case ReplyHeaderLine::Other:
                break;
        }
        keep(line);
        if (parsed.endsHeader) break;
    }
}

void THttpClient::ReadBody() {
    try {
        if (InputFileMode) {
            CaptureFile(Body);
        } else {
            // The announced length only sizes the buffer, and only up to a cap: the server may
            // announce far more than it sends. The body still ends at the close.
            Body.clear();
            if (BytesTotal > 0)
                Body.reserve(static_cast<std::size_t>(std::min(BytesTotal, kMaxReserve)));
            CaptureString(Body, -1);
        }
    } catch (const EAbortError&) {
        readingReply_ = false;
        if (!TimedOut) throw;
        throw ESockError("Reply Timed out");
    }
    readingReply_ = false;
    TimerOff();
}

}  // namespace net
