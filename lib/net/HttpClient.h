// THttpClient: an HTTP/1.0 client on the socket component. One call of a request operation is
// one complete exchange (or a chain of them when the server redirects): split the URL, build the
// request, connect, send, read the reply header line by line and the body until the server
// closes, disconnect, fire the events. The call returns when all of that is over; while it waits
// the event loop keeps running.
//
//  - String mode: Body and Header receive the reply's body and header text. File mode:
//    InputFileMode writes the body to the file named by Body, OutputFileMode the header to the
//    file named by Header (and takes request data from the file RequestData names).
//  - HTTP error statuses are events (OnFailure), not exceptions; connection and transfer
//    failures are exceptions (ESockError, EAbortError), after the connection was closed.
//  - Redirects (300..398) are followed at most 20 passes; a redirect without a location ends the
//    chain with that reply. With TimeOut set, a server that stops sending for that long during
//    the reply header or the body ends the call with ESockError "Reply Timed out".
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "lib/net/ExtStrings.h"
#include "lib/net/SockClient.h"

namespace net {

class THeaderInfo {
  public:
    std::string LocalMailAddress;  // sent as "User-Agent"
    std::string LocalProgram;      // sent as "From"
    std::string Cookie;
    std::string Referer;
    std::string UserId;
    std::string Password;
};

enum CmdType : std::uint8_t {
    cmdGet = 0,
    cmdOptions = 1,
    cmdHead = 2,
    cmdPost = 3,
    cmdPut = 4,
    cmdPatch = 5,
    cmdCopy = 6,
    cmdMove = 7,
    cmdDelete = 8,
    cmdLink = 9,
    cmdUnlink = 10,
    cmdTrace = 11,
    cmdSearch = 12  // "SEARCH " (a request with a body, as WebDAV's SEARCH)
};

// "GET ", "OPTIONS ", ... each ending in one space.
const char* RequestWord(CmdType command);

using TResultEvent = std::function<void(CmdType command)>;

// What one reply header line tells the client. Names are matched in any letter case, but only in
// the form name, colon, one space, value; values are taken from fixed positions.
struct ReplyHeaderLine {
    enum Kind { Other, SetCookie, Location, ContentLength } kind = Other;
    std::string value;        // cookie or location, without the line end, at most 256 chars
    std::int32_t length = 0;  // the first run of digits after the colon, or 0
    bool endsHeader = false;  // a lone LF, a lone CR LF, or nothing
};
ReplyHeaderLine ParseReplyHeaderLine(const std::string& line);
// The status of a status line: its second blank-separated field as a number, else 0.
std::int16_t ParseStatusLine(const std::string& line);

class THttpClient : public TSocketClient {
  public:
    explicit THttpClient(rtl::TComponent* owner = nullptr);
    ~THttpClient() override;

    std::string Body = "Default.htm";
    std::string Header = "Head.txt";
    std::string RequestPath;
    TExStringList RequestHeaders;
    THeaderInfo HeaderInfo;
    std::string ReplyCookie;
    bool InputFileMode = false;
    bool OutputFileMode = false;
    // When on (and not in file mode), Post sends the URL decoding of its data. Off on a new
    // instance: form data is sent as the caller encoded it.
    bool DecodePostData = false;
    std::string RequestData;
    std::string RequestArgument;
    std::string RequestURL;
    CmdType PendingCommand = cmdGet;

    TResultEvent OnSuccess, OnFailure;
    TNotifyEvent OnAboutToSend, OnAuthenticationNeeded;
    THandlerEvent OnRedirect;

    static constexpr int kMaxPasses = 20;
    // At most this much memory is reserved for a body ahead of its data.
    static constexpr std::int32_t kMaxReserve = 1 << 20;

    void Interrupt() override;

    virtual void Get(const std::string& url);
    virtual void Options(const std::string& url);
    virtual void Head(const std::string& url);
    virtual void Delete(const std::string& url);
    virtual void Post(const std::string& url, const std::string& data);
    virtual void Put(const std::string& url, const std::string& data);
    virtual void Patch(const std::string& url, const std::string& data);
    virtual void Trace(const std::string& url, const std::string& data);
    virtual void Search(const std::string& url, const std::string& data);
    virtual void Copy(const std::string& url, const std::string& destination);
    virtual void Move(const std::string& url, const std::string& destination);
    virtual void Link(const std::string& url, const std::string& link);
    virtual void Unlink(const std::string& url, const std::string& link);

    // The steps of one exchange, replaceable by a derived class.
    virtual void ExecuteRequest();
    virtual void SplitURL();
    virtual void BuildRequest();
    virtual void SendRequest();
    virtual void ReadReplyHeader();

  protected:
    void BytesArrived() override;

  private:
    void Run(CmdType command, const std::string& url);
    void RunWithData(CmdType command, const std::string& url, const std::string& data);
    std::string ReadReplyLine();
    void ReadBody();
    bool replyHadLocation_ = false;
    bool readingReply_ = false;  // the reply time-out is running
    CmdType sentCommand_ = cmdGet;
};

}  // namespace net
