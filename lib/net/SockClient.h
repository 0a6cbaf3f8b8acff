// TSocketClient: the client side of one TCP connection, driven from the user-interface thread.
// It resolves a host name or dotted address, connects, sends and receives through two in-memory
// buffers, reads lines, sends or receives whole files, and reports progress as status texts
// filtered by level (1 server replies, 2 HTTP client, 4 buffer/accept/close steps, 8 every other
// step, 16 the error manager).
//
// It never blocks in a socket call: notifications arrive as messages to a hidden window of the
// component, and every operation that must wait (lookup, connect, send, read a line, read to the
// end) waits in the event loop for the next message and tests its flag again, so the interface
// stays live and an idle wait uses no CPU. Every wait ends on Cancel(); the lookup and connect
// waits also end on the time-out (TimeOut ms, 0 = none), and a send (SendBuffer, Write, SendFile)
// ends with ESockError "Send Timed out" when the peer takes nothing for TimeOut ms. Waits for data
// that can no longer come because the peer has closed end with ESockError "Connection closed by
// peer".
//
// Failures are exceptions (ESockError; EAbortError when Cancel ended a wait); notification
// handlers report through events and flags instead. After any failure the component stays
// usable. A second request on the same component during a wait is the caller's error.
#pragma once

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "lib/platform/core/Messages.h"
#include "lib/platform/core/Sockets.h"
#include "lib/rtl/Classes.h"
#include "lib/rtl/Exception.h"

namespace net {

class ESockError : public rtl::Exception {
  public:
    using rtl::Exception::Exception;
};
class EAbortError : public ESockError {
  public:
    using ESockError::ESockError;
};

using TNotifyEvent = std::function<void(rtl::TComponent* sender)>;
using THandlerEvent = std::function<void(bool& handled)>;
using TOnStatus = std::function<void(rtl::TComponent* sender, const std::string& status)>;
using TOnHostResolved = std::function<void(rtl::TComponent* sender)>;
using TOnSocketError =
    std::function<void(rtl::TComponent* sender, std::uint16_t code, const std::string& message)>;

inline constexpr unsigned SocketMessage = 1125;
inline constexpr unsigned LookupMessage = 1126;
inline constexpr unsigned WriteRequestMessage = 1127;
inline constexpr unsigned ReadRequestMessage = 1128;
inline constexpr int kChunk = 16383;  // bytes moved per receive or send

// A timer on its own hidden window (no thread, despite the name). Setting Enabled or Interval to
// another value, or assigning OnTimer, restarts it; it runs only with a non-zero Interval, Enabled
// set and OnTimer assigned. Throws rtl::Exception "No Timer" when the platform refuses one.
class TThreadTimer : public rtl::TComponent {
  public:
    explicit TThreadTimer(rtl::TComponent* owner);
    ~TThreadTimer() override;

    bool Enabled() const { return enabled_; }
    void Enabled(bool on);
    std::uint32_t Interval() const { return interval_; }
    void Interval(std::uint32_t ms);
    void OnTimer(TNotifyEvent handler);

  private:
    void UpdateTimer();
    std::uint32_t interval_ = 1000;
    std::unique_ptr<platform::MessageWindow> window_;
    TNotifyEvent onTimer_;
    bool enabled_ = true;
};

class TSocketClient : public rtl::TComponent {
  public:
    explicit TSocketClient(rtl::TComponent* owner = nullptr);
    ~TSocketClient() override;

    // Events (an unassigned one is skipped).
    TNotifyEvent OnDataAvailable, OnAccept, OnConnect, OnDisconnect, OnConnectionFailed,
        OnPacketRecvd, OnPacketSent, OnReadCanceled;
    TOnSocketError OnSocketError;
    THandlerEvent OnInvalidHost;
    TOnHostResolved OnHostResolved;
    TOnStatus OnStatus;

    // Published and public state.
    std::string Host;
    std::int32_t Port = 0;
    std::int32_t TimeOut = 0;  // ms; 0 = none
    std::int32_t ReportLevel = 0;
    std::string Proxy;
    std::int32_t ProxyPort = 0;

    rtl::TStringList WinsockInfo;  // filled by the first component only
    bool Capturing = false;
    bool Busy = false;
    std::int32_t BytesSent = 0;
    bool Canceled = false;
    bool Destroying = false;
    std::int32_t LastError = 0;
    std::string LastStatus;
    bool LastSucceeded = false;
    bool TimedOut = false;
    std::int32_t BytesTotal = 0;
    std::int32_t BytesReceived = 0;
    bool LookupDone = false;
    platform::winsock::WSADATA StartupData{};
    sockaddr_in RemoteAddress{};
    std::string LastReply;
    std::int16_t ReplyNumber = 0;
    bool SendDone = false;
    bool FileMode = false;
    std::uint16_t SocketHandle = platform::winsock::INVALID_SOCKET;
    bool Connected = false;

    // Connection (virtual, as derived components replace them).
    virtual std::uint16_t Accept();
    virtual void Connect();
    virtual void Disconnect();
    virtual std::string Transaction(const std::string& command);
    virtual void Interrupt() {}
    void Cancel();

    // Transfers.
    void SendBuffer(const char* buffer, std::size_t length);  // length 0: up to the first NUL
    void Write(const std::string& text);
    void Writeln(const std::string& text);
    std::string ReadLn();
    void SendFile(const std::string& fileName);
    void CaptureFile(const std::string& fileName);
    void CaptureString(std::string& text, std::int32_t size);

    std::string LookupErrorMessage(std::uint16_t code);
    void ReportStatus(std::uint8_t level, const std::string& text);

    // Process-wide count of components that started the socket library.
    static std::int32_t WinsockUsers();
    // The receive buffer (tests and derived components look at it).
    const rtl::TMemoryStream& IncomingBuffer() const { return *incomingMemory_; }

  protected:
    void ResolveHost();
    void InitializeWinsock();
    void RequestCloseSocket();
    void ErrorManager(std::uint16_t ignorableCode);
    void TimerOn();
    void TimerOff();
    void TimerTriggered();
    void ReadToStream();
    void WriteFromStream();
    // Called after every receive that stored bytes (derived components restart time-outs here).
    virtual void BytesArrived() {}
    // Restarts the time-out timer without a status report.
    void RestartTimer();
    // Waits in the event loop until `done()` holds; `done` must include Canceled.
    template <class Condition>
    void WaitUntil(Condition done) {
        while (!done()) platform::WaitMessage();
    }

  private:
    void WindowProc(unsigned message, platform::WPARAM wParam, platform::LPARAM lParam);
    void HandleClose();
    // One receive of up to kChunk bytes appended to Incoming; the recv result.
    int ReceiveChunk();
    void Received(std::size_t count);
    bool OutgoingPending() const;
    // Waits until the outgoing data is sent, the peer is gone, Cancel, or (TimeOut set) the peer
    // took nothing for TimeOut ms.
    void WaitForSend();
    // After WaitForSend: ESockError "Send Timed out", EAbortError on Cancel, or (when a send
    // was `expected` to finish) "Connection closed by peer".
    void ThrowIfSendFailed(bool expected);

    std::unique_ptr<platform::MessageWindow> eventWindow_;
    std::unique_ptr<TThreadTimer> timer_;
    std::unique_ptr<std::array<char, 1024>> hostEntryBuffer_;
    // The buffers. Incoming/Outgoing point at the memory streams, or at a file during a transfer.
    std::unique_ptr<rtl::TMemoryStream> incomingMemory_, incomingSpare_, outgoingMemory_;
    std::unique_ptr<rtl::TStream> fileStream_;
    rtl::TStream* incoming_ = nullptr;
    rtl::TStream* outgoing_ = nullptr;
    std::int64_t outgoingSent_ = 0;  // bytes of the memory buffer already handed to send
    int lookupTask_ = 0;             // the lookup being waited for; late answers are ignored
    bool readWaiting_ = false;       // a read request met Busy: read again when it clears
    bool writeWaiting_ = false;      // a write request met Busy: send again when it clears
    bool sendTimed_ = false;         // a send is waiting under the time-out
    bool sendTimedOut_ = false;      // ... and the time-out ended it
};

// The index-th field (from 1) of `text` between single `delimiter`s; "" beyond the last field,
// below 1, or for an empty text.
std::string DelimitedField(const std::string& text, char delimiter, std::int32_t index);
// The 1-based position of the count-th `delimiter` in `text`, or its length + 1.
std::int32_t DelimiterPos(const std::string& text, char delimiter, std::int32_t count);

}  // namespace net
