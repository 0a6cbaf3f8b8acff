#include "lib/net/SockClient.h"

#include <netdb.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "lib/platform/core/Application.h"
#include "lib/rtl/Convert.h"
#include "lib/rtl/ScopeExit.h"

namespace net {

namespace ws = platform::winsock;

namespace {

std::int32_t g_winsockUsers = 0;

struct ErrorText {
    std::uint16_t code;
    const char* text;
};
constexpr ErrorText kErrorTexts[] = {{10004, "Interrupted system call"},
                                     {10009, "Bad file number"},
                                     {10013, "Permission denied"},
                                     {10014, "Bad address"},
                                     {10022, "Invalid argument"},
                                     {10024, "Too many open files"},
                                     {10035, "Operation would block"},
                                     {10036, "Operation now in progress"},
                                     {10037, "Operation already in progress"},
                                     {10038, "Socket operation on non-socket"},
                                     {10039, "Destination address required"},
                                     {10040, "Message too long"},
                                     {10041, "Wrong protocol type for socket"},
                                     {10042, "Bad protocol option"},
                                     {10043, "Protocol not supported"},
                                     {10044, "Socket type not supported"},
                                     {10045, "Operation not supported on socket"},
                                     {10046, "Protocol family not supported"},
                                     {10047, "Address family not supported by protocol family"},
                                     {10048, "Address already in use"},
                                     {10049, "Can't assign requested address"},
                                     {10050, "Network is down"},
                                     {10051, "Network is unreachable"},
                                     {10052, "Network dropped connection or reset"},
                                     {10053, "Software caused connection abort"},
                                     {10054, "Connection reset by peer"},
                                     {10055, "No buffer space available"},
                                     {10056, "Socket is already connected"},
                                     {10057, "Socket is not connected"},
                                     {10058, "Can't send after socket shutdown"},
                                     {10059, "Too many references, can't splice"},
                                     {10060, "Connection timed out"},
                                     {10061, "Connection refused"},
                                     {10062, "Too many levels of symbolic links"},
                                     {10063, "File name too long"},
                                     {10064, "Host is down"},
                                     {10065, "No route to Host"},
                                     {10066, "Directory not empty"},
                                     {10067, "Too many processes"},
                                     {10068, "Too many users"},
                                     {10069, "Disc quota exceeded"},
                                     {10070, "Stale NFS file handle"},
                                     {10071, "Too many levels of remote in path"},
                                     {10091, "Network subsystem is unavailable"},
                                     {10092, "Incompatible version of WINSOCK.DLL"},
                                     {10093, "Successful WSAStartup not yet performed"},
                                     {11001, "Host not found"},
                                     {11002, "Non-Authoritative Host not found"},
                                     {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
                                     {11004, "Valid name, no data record of requested type"}};
static_assert(std::size(kErrorTexts) == 50);

constexpr long kAllEvents =
    ws::FD_READ | ws::FD_WRITE | ws::FD_OOB | ws::FD_ACCEPT | ws::FD_CONNECT | ws::FD_CLOSE;  // 63
constexpr std::size_t kMaxHostName = 127;  // the lookup takes the name from a 128-byte buffer

const char kClosedByPeer[] = "Connection closed by peer";

}  // namespace

// ---- TThreadTimer --------------------------------------------------------------------------

TThreadTimer::TThreadTimer(rtl::TComponent* owner)
    : TComponent(owner), window_(std::make_unique<platform::MessageWindow>()) {
    window_->SetWindowProc([this](unsigned message, platform::WPARAM, platform::LPARAM) {
        if (message != platform::WM_TIMER || !onTimer_) return;
        platform::Guarded([this] { onTimer_(this); });  // never leaves the window procedure
    });
}

TThreadTimer::~TThreadTimer() {
    enabled_ = false;
    window_->KillTimer(1);  // what UpdateTimer does when disabled, without a way to throw
}

void TThreadTimer::Enabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    UpdateTimer();
}

void TThreadTimer::Interval(std::uint32_t ms) {
    if (ms == interval_) return;
    interval_ = ms;
    UpdateTimer();
}

void TThreadTimer::OnTimer(TNotifyEvent handler) {
    onTimer_ = std::move(handler);
    UpdateTimer();
}

void TThreadTimer::UpdateTimer() {
    window_->KillTimer(1);
    if (interval_ != 0 && enabled_ && onTimer_ && !window_->SetTimer(1, interval_))
        throw rtl::Exception("No Timer");
}

// ---- construction ---------------------------------------------------------------------------

std::int32_t TSocketClient::WinsockUsers() {
    return g_winsockUsers;
}

TSocketClient::TSocketClient(rtl::TComponent* owner) : TComponent(owner) {
    eventWindow_ = std::make_unique<platform::MessageWindow>();
    eventWindow_->SetWindowProc(
        [this](unsigned m, platform::WPARAM w, platform::LPARAM l) { WindowProc(m, w, l); });
    Proxy.clear();
    hostEntryBuffer_ = std::make_unique<std::array<char, 1024>>();
    timer_ = std::make_unique<TThreadTimer>(this);
    timer_->Enabled(false);
    timer_->OnTimer([this](rtl::TComponent*) { TimerTriggered(); });
    Canceled = Capturing = Destroying = Connected = false;
    incomingMemory_ = std::make_unique<rtl::TMemoryStream>();
    outgoingMemory_ = std::make_unique<rtl::TMemoryStream>();
    incomingSpare_ = std::make_unique<rtl::TMemoryStream>();
    incoming_ = incomingMemory_.get();
    outgoing_ = outgoingMemory_.get();
    InitializeWinsock();
}

TSocketClient::~TSocketClient() {
    MarkDestroying();
    ReportStatus(8, "Destroy");  // OnStatus is not fired any more: only LastStatus changes
    // A derived component's part is gone by now, so this is TSocketClient's own Interrupt; no
    // wait can be running while the component is destroyed anyway.
    TSocketClient::Interrupt();
    Cancel();
    timer_.reset();
    eventWindow_.reset();  // messages still queued for it are dropped
    Destroying = true;
    if (!Designing()) {
        try {
            RequestCloseSocket();
        } catch (const ESockError&) {
            // The socket could not be closed; nothing is left to tell.
        }
        if (--g_winsockUsers == 0) ws::WSACleanup();
    }
}

void TSocketClient::InitializeWinsock() {
    ReportStatus(8, "Initializing Winsock");
    if (Designing()) return;
    ++g_winsockUsers;
    if (g_winsockUsers == 1) {
        ws::WSAStartup(0x0101, &StartupData);
        auto version = [](std::uint16_t v) {
            return std::to_string(v >> 8) + "." + std::to_string(v & 0xFF);
        };
        WinsockInfo.Add("Version= " + version(StartupData.wVersion));
        WinsockInfo.Add("High Version= " + version(StartupData.wHighVersion));
        WinsockInfo.Add(std::string("Description= ") + StartupData.szDescription);
        WinsockInfo.Add(std::string("System= ") + StartupData.szSystemStatus);
        WinsockInfo.Add("Max Sockets= " + std::to_string(StartupData.iMaxSockets));
        WinsockInfo.Add("Max Udp pack size= " + std::to_string(StartupData.iMaxUdpDg));
    }
    try {
        SocketHandle = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, ws::IPPROTO_TCP_);
        if (SocketHandle == ws::INVALID_SOCKET) ErrorManager(ws::WSAEWOULDBLOCK);
        if (ws::SetLinger(SocketHandle, true, 0) != 0) ErrorManager(ws::WSAEWOULDBLOCK);
        if (ws::WSAAsyncSelect(SocketHandle, eventWindow_.get(), SocketMessage, kAllEvents) != 0)
            ErrorManager(ws::WSAEWOULDBLOCK);
    } catch (...) {
        if (SocketHandle != ws::INVALID_SOCKET) ws::closesocket(SocketHandle);
        SocketHandle = ws::INVALID_SOCKET;
        if (--g_winsockUsers == 0) ws::WSACleanup();
        throw ESockError("Initializaton of windows sockets failed");
    }
}

// ---- status, errors, timer -------------------------------------------------------------------

void TSocketClient::ReportStatus(std::uint8_t level, const std::string& text) {
    if (level > ReportLevel) return;
    LastStatus = text;
    if (!TComponent::Destroying() && OnStatus) OnStatus(this, text);
}

std::string TSocketClient::LookupErrorMessage(std::uint16_t code) {
    ReportStatus(8, "Looking Up Error Message");
    if (code == 0) return {};
    for (const ErrorText& e : kErrorTexts)
        if (e.code == code) return std::to_string(code) + ":" + e.text;
    return "Unknown Error No. " + std::to_string(code);
}

void TSocketClient::ErrorManager(std::uint16_t ignorableCode) {
    ReportStatus(16, "Checking Error In Error Manager");
    LastError = ws::WSAGetLastError();
    if (LastError == ignorableCode) return;  // plain equality: only would-block passes
    const std::string message = LookupErrorMessage(static_cast<std::uint16_t>(LastError));
    if (OnSocketError) OnSocketError(this, static_cast<std::uint16_t>(LastError), message);
    throw ESockError(message);
}

void TSocketClient::TimerOn() {
    ReportStatus(8, "Timer On");
    TimedOut = false;
    if (TimeOut < 0) throw rtl::ERangeError("Range check error");
    timer_->Interval(static_cast<std::uint32_t>(TimeOut));
    timer_->Enabled(true);
}

void TSocketClient::RestartTimer() {
    TimedOut = false;
    timer_->Enabled(false);
    timer_->Interval(static_cast<std::uint32_t>(std::max(TimeOut, 0)));
    timer_->Enabled(true);
}

void TSocketClient::TimerOff() {
    ReportStatus(8, "Timer Off");
    timer_->Enabled(false);
}

void TSocketClient::TimerTriggered() {
    ReportStatus(8, "Timer Triggered");
    TimerOff();
    TimedOut = true;
    Interrupt();
}

void TSocketClient::Cancel() {
    ReportStatus(8, "Canceling");
    Canceled = true;
}

// ---- connecting --------------------------------------------------------------------------------

void TSocketClient::ResolveHost() {
    ReportStatus(8, "Resolve Host");
    const std::string& name = Proxy.empty() ? Host : Proxy;
    const std::uint32_t address = ws::inet_addr(name.c_str());
    if (address != INADDR_NONE) {
        RemoteAddress.sin_addr.s_addr = address;
        return;
    }
    RemoteAddress.sin_addr.s_addr = 0;
    TimerOn();
    LookupDone = false;
    if (name.size() > kMaxHostName) {
        // Longer than the lookup can take: it fails at once, without reading past the buffer.
        lookupTask_ = 0;
        LastSucceeded = false;
        LookupDone = true;
    } else {
        lookupTask_ = ws::WSAAsyncGetHostByName(eventWindow_.get(), LookupMessage, name.c_str(),
                                                hostEntryBuffer_->data(),
                                                static_cast<int>(hostEntryBuffer_->size()));
        if (lookupTask_ == 0) {
            LastSucceeded = false;
            LookupDone = true;
        }
    }
    WaitUntil([this] { return LookupDone || TimedOut || Canceled; });
    TimerOff();
    if (TimedOut) throw ESockError("Host Lookup Timed Out");
    if (Canceled) throw ESockError("Host Lookup Canceled");
    if (!LastSucceeded) throw ESockError("Host Lookup Failed");
    const auto* entry = reinterpret_cast<const hostent*>(hostEntryBuffer_->data());
    if (entry->h_addr_list && entry->h_addr_list[0])
        std::memcpy(&RemoteAddress.sin_addr.s_addr, entry->h_addr_list[0], 4);
    if (OnHostResolved) OnHostResolved(this);
}

void TSocketClient::Connect() {
    ReportStatus(8, "Connecting");
    Canceled = false;
    if (Connected) throw ESockError("Already connected");
    for (int retries = 0;; ++retries) {
        try {
            ResolveHost();
        } catch (const ESockError& e) {
            const std::string what = e.what();
            if (what == "Host Lookup Timed Out" || what == "Host Lookup Canceled") throw;
        }
        if (RemoteAddress.sin_addr.s_addr != 0) break;
        if (retries > 0 || !OnInvalidHost) throw ESockError("Null Remote Address");
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled) throw ESockError("Null Remote Address");
    }
    RemoteAddress.sin_family = AF_INET;
    const std::int32_t port = Proxy.empty() ? Port : ProxyPort;
    RemoteAddress.sin_port = ws::htons(static_cast<std::uint16_t>(port & 0xFFFF));
    LookupDone = false;
    LastSucceeded = true;
    if (ws::connect(SocketHandle, &RemoteAddress, sizeof RemoteAddress) == ws::SOCKET_ERROR)
        ErrorManager(ws::WSAEWOULDBLOCK);
    TimerOn();
    WaitUntil([this] { return Connected || TimedOut || Canceled || !LastSucceeded; });
    TimerOff();
    if (!TimedOut && !Canceled && LastSucceeded) return;
    if (OnConnectionFailed) OnConnectionFailed(this);
    if (TimedOut) throw ESockError("Connection Timed out");
    if (Canceled) throw ESockError("Connection Canceled");
    throw ESockError("Connection Failed");
}

void TSocketClient::Disconnect() {
    ReportStatus(8, "Disconnecting");
    RequestCloseSocket();
}

void TSocketClient::RequestCloseSocket() {
    ReportStatus(4, "Request Close Socket");
    Connected = false;
    if (SocketHandle == ws::INVALID_SOCKET) return;
    if (ws::closesocket(SocketHandle) != 0) {
        ErrorManager(ws::WSAEWOULDBLOCK);
        return;
    }
    SocketHandle = ws::INVALID_SOCKET;
    if (!TComponent::Destroying() && OnDisconnect) OnDisconnect(this);
    if (Destroying) return;
    // A fresh socket, ready for the next Connect.
    SocketHandle = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    if (SocketHandle != ws::INVALID_SOCKET)
        ws::WSAAsyncSelect(SocketHandle, eventWindow_.get(), SocketMessage, kAllEvents);
}

// ---- notifications ------------------------------------------------------------------------------

void TSocketClient::WindowProc(unsigned message, platform::WPARAM wParam, platform::LPARAM lParam) {
    try {
        switch (message) {
            case SocketMessage: {
                LastSucceeded = ws::WSAGETSELECTERROR(lParam) == 0;
                switch (ws::WSAGETSELECTEVENT(lParam)) {
                    case ws::FD_READ:
                        ReadToStream();
                        break;
                    case ws::FD_WRITE:
                        WriteFromStream();
                        break;
                    case ws::FD_ACCEPT:
                        Connected = true;
                        if (OnAccept) OnAccept(this);
                        break;
                    case ws::FD_CONNECT:
                        if (LastSucceeded) {
                            Connected = true;
                            if (OnConnect) OnConnect(this);
                        }
                        break;
                    case ws::FD_CLOSE:
                        HandleClose();
                        break;
                    default:
                        break;
                }
                break;
            }
            case LookupMessage:
                if (static_cast<int>(wParam) != lookupTask_) break;  // an abandoned lookup
                LastSucceeded = ws::WSAGETSELECTERROR(lParam) == 0;
                LookupDone = true;
                break;
            case WriteRequestMessage:
                WriteFromStream();
                break;
            case ReadRequestMessage:
                ReadToStream();
                break;
            default:
                break;
        }
    } catch (...) {
        // A failure while a message is handled stays here; the waits see the flags.
    }
}

void TSocketClient::HandleClose() {
    // The close may come while data is still unread: drain it first, uncounted.
    while (!Canceled && SocketHandle != ws::INVALID_SOCKET && ReceiveChunk() > 0) {
    }
    Connected = false;
    RequestCloseSocket();
}

int TSocketClient::ReceiveChunk() {
    if (incoming_ != incomingMemory_.get()) {  // a file during CaptureFile
        char buf[kChunk];
        const int n = ws::recv(SocketHandle, buf, kChunk, 0);
        if (n > 0) incoming_->Write(buf, static_cast<std::size_t>(n));
        return n;
    }
    // Straight into the memory buffer, without a copy.
    auto& bytes = incomingMemory_->MutableBytes();
    const std::size_t old = bytes.size();
    bytes.resize(old + kChunk);
    const int n = ws::recv(SocketHandle, bytes.data() + old, kChunk, 0);
    bytes.resize(old + static_cast<std::size_t>(std::max(n, 0)));
    incomingMemory_->SetPosition(static_cast<std::int64_t>(bytes.size()));
    return n;
}

void TSocketClient::Received(std::size_t count) {
    if (Capturing) {
        BytesReceived += static_cast<std::int32_t>(count);
        if (OnPacketRecvd) OnPacketRecvd(this);
    }
}

void TSocketClient::ReadToStream() {
    if (Canceled) {
        ws::WSAAsyncSelect(SocketHandle, eventWindow_.get(), 0, 0);
        if (OnReadCanceled) OnReadCanceled(this);
    }
    if (Busy) {
        readWaiting_ = true;  // read again once the handler that holds Busy is done
        return;
    }
    Busy = true;
    ReportStatus(8, "ReadToStream");
    const int n = ReceiveChunk();
    const bool stored = n >= 0;
    if (n < 0) {
        LastError = ws::WSAGetLastError();
        // Nothing waiting is not a failure (a read request can find the data already taken).
        if (LastError != ws::WSAEWOULDBLOCK && OnSocketError)
            OnSocketError(this, static_cast<std::uint16_t>(LastError),
                          LookupErrorMessage(static_cast<std::uint16_t>(LastError)));
    } else {
        Received(static_cast<std::size_t>(n));
        if (n > 0) BytesArrived();
        if (n == kChunk) platform::PostMessage(eventWindow_.get(), ReadRequestMessage, 0, 0);
    }
    Busy = false;
    if (writeWaiting_) {
        writeWaiting_ = false;
        platform::PostMessage(eventWindow_.get(), WriteRequestMessage, 0, 0);
    }
    if (stored && OnDataAvailable) OnDataAvailable(this);
}

bool TSocketClient::OutgoingPending() const {
    if (FileMode) return outgoing_->Position() < outgoing_->Size() || BytesSent < outgoing_->Size();
    return outgoingSent_ < outgoingMemory_->Size();
}

void TSocketClient::WriteFromStream() {
    if (Busy) {
        writeWaiting_ = true;  // never dropped: sent again once Busy clears
        return;
    }
    Busy = true;
    ReportStatus(8, "WriteFromStream");
    const rtl::ScopeExit clearBusy([this] {
        Busy = false;
        if (readWaiting_) {
            readWaiting_ = false;
            platform::PostMessage(eventWindow_.get(), ReadRequestMessage, 0, 0);
        }
    });
    if (!OutgoingPending() || Canceled) return;
    const char* data;
    std::size_t available;
    char buf[kChunk];
    if (FileMode) {
        outgoing_->SetPosition(BytesSent);
        available = outgoing_->Read(buf, kChunk);
        data = buf;
    } else {
        data = outgoingMemory_->Bytes().data() + outgoingSent_;
        available = static_cast<std::size_t>(
            std::min<std::int64_t>(kChunk, outgoingMemory_->Size() - outgoingSent_));
    }
    const int n = ws::send(SocketHandle, data, static_cast<int>(available), 0);
    if (n < 0) {
        LastError = ws::WSAGetLastError();  // the rest waits for the next write notification
        if (FileMode) outgoing_->SetPosition(BytesSent);
        return;
    }
    BytesSent += n;
    if (sendTimed_ && n > 0) RestartTimer();
    if (FileMode) {
        outgoing_->SetPosition(BytesSent);
    } else {
        outgoingSent_ += n;
    }
    if (OutgoingPending()) {
        platform::PostMessage(eventWindow_.get(), WriteRequestMessage, 0, 0);
    } else {
        if (!FileMode) {
            outgoingMemory_->Clear();
            outgoingSent_ = 0;
        }
        SendDone = true;
    }
    if (Capturing && OnPacketSent) OnPacketSent(this);
}

// ---- transfers ----------------------------------------------------------------------------------

void TSocketClient::SendBuffer(const char* buffer, std::size_t length) {
    ReportStatus(4, "Sending Buffer");
    if (Canceled) return;
    if (length == 0) length = std::strlen(buffer);
    if (length == 0) return;  // nothing to send: no notification would ever end the wait
    outgoingMemory_->SetPosition(outgoingMemory_->Size());
    outgoingMemory_->Write(buffer, length);
    SendDone = false;
    platform::PostMessage(eventWindow_.get(), WriteRequestMessage, 0, 0);
    WaitForSend();
    if (!SendDone) {
        outgoingMemory_->Clear();
        outgoingSent_ = 0;
    }
    ThrowIfSendFailed(true);
}

void TSocketClient::WaitForSend() {
    // With TimeOut set, a peer that takes nothing for that long ends the send; the timer
    // restarts whenever a chunk goes out.
    sendTimed_ = TimeOut > 0;
    if (sendTimed_) RestartTimer();
    WaitUntil([this] { return SendDone || Canceled || !Connected || (sendTimed_ && TimedOut); });
    sendTimedOut_ = sendTimed_ && TimedOut && !SendDone;
    if (sendTimed_) {
        sendTimed_ = false;
        timer_->Enabled(false);
    }
}

void TSocketClient::ThrowIfSendFailed(bool expected) {
    if (sendTimedOut_) {
        sendTimedOut_ = false;
        Canceled = false;  // a derived Interrupt() may have cancelled on the time-out
        throw ESockError("Send Timed out");
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket send aborted");
    }
    if (expected && !SendDone) throw ESockError(kClosedByPeer);
}

void TSocketClient::Write(const std::string& text) {
    ReportStatus(8, "Write");
    // The whole text up to its first NUL, however long.
    const std::size_t length = std::min(text.size(), std::strlen(text.c_str()));
    SendBuffer(text.data(), length);
}

void TSocketClient::Writeln(const std::string& text) {
    ReportStatus(8, "Writeln");
    Write(text + "\r\n");
}

std::string TSocketClient::ReadLn() {
    ReportStatus(8, "ReadLn");
    const std::string& bytes = incomingMemory_->Bytes();
    std::size_t scanned = 0;
    std::size_t lf = std::string::npos;
    while (!Canceled) {
        lf = bytes.find('\n', scanned);
        if (lf != std::string::npos) break;
        scanned = bytes.size();
        if (!Connected) throw ESockError(kClosedByPeer);
        platform::WaitMessage();
    }
    if (Canceled) throw EAbortError("Socket readln aborted");  // Canceled stays set
    std::string line = bytes.substr(0, lf + 1);
    if (lf + 1 == bytes.size()) {
        incomingMemory_->Clear();
    } else {
        incomingSpare_->Clear();
        incomingSpare_->Write(bytes.data() + lf + 1, bytes.size() - lf - 1);
        incomingMemory_->Clear();
        std::swap(incomingMemory_, incomingSpare_);
        incoming_ = incomingMemory_.get();
    }
    return line;
}

std::string TSocketClient::Transaction(const std::string& command) {
    ReportStatus(8, "Transaction");
    ReplyNumber = 0;
    Writeln(command);
    LastReply = ReadLn();
    if (!LastReply.empty()) {
        ReportStatus(1, LastReply);
        std::string digits;
        for (char c : LastReply) {
            if (c < '0' || c > '9' || digits.size() == 10) break;
            digits += c;
        }
        if (!digits.empty()) {
            const long long value = std::stoll(digits);
            if (value > std::numeric_limits<std::int16_t>::max())
                throw rtl::ERangeError("Range check error");
            ReplyNumber = static_cast<std::int16_t>(value);
        }
    }
    return LastReply;
}

void TSocketClient::SendFile(const std::string& fileName) {
    ReportStatus(8, "SendFile");
    auto file = std::make_unique<rtl::TFileStream>(fileName, rtl::TFileStream::OpenRead);
    rtl::TStream* kept = outgoing_;
    fileStream_ = std::move(file);
    outgoing_ = fileStream_.get();
    Capturing = FileMode = true;
    SendDone = false;
    BytesSent = 0;
    BytesTotal = static_cast<std::int32_t>(outgoing_->Size());
    {
        const rtl::ScopeExit restore([this, kept] {
            outgoing_ = kept;
            fileStream_.reset();
            Capturing = FileMode = false;
        });
        if (BytesTotal > 0) {
            platform::PostMessage(eventWindow_.get(), WriteRequestMessage, 0, 0);
            WaitForSend();
        }
    }
    ThrowIfSendFailed(BytesTotal > 0);
}

void TSocketClient::CaptureFile(const std::string& fileName) {
    ReportStatus(8, "CaptureFile");
    auto file = std::make_unique<rtl::TFileStream>(fileName, rtl::TFileStream::Create);
    rtl::TStream* kept = incoming_;
    fileStream_ = std::move(file);
    incoming_ = fileStream_.get();
    Capturing = FileMode = true;
    BytesReceived = 0;
    {
        const rtl::ScopeExit restore([this, kept] {
            incoming_ = kept;
            fileStream_.reset();
            Capturing = FileMode = false;
        });
        const std::string& held = incomingMemory_->Bytes();
        if (!held.empty()) {
            incoming_->Write(held.data(), held.size());
            BytesReceived = static_cast<std::int32_t>(held.size());
            incomingMemory_->Clear();
        }
        WaitUntil([this] { return !Connected || Canceled; });
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket send aborted");
    }
}

void TSocketClient::CaptureString(std::string& text, std::int32_t size) {
    text.clear();
    Capturing = true;
    ReportStatus(8, "Capture String");
    BytesReceived = 0;
    {
        const rtl::ScopeExit restore([this] { Capturing = false; });
        auto& held = incomingMemory_->MutableBytes();
        while (!Canceled) {
            const bool more = size == -1
                                  ? (Connected || !held.empty())
                                  : size >= 0 && text.size() < static_cast<std::size_t>(size);
            if (!more) break;
            if (held.empty()) {
                if (size >= 0 && !Connected) throw ESockError(kClosedByPeer);
                platform::WaitMessage();
                continue;
            }
            text.append(held);
            incomingMemory_->Clear();
        }
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket capture aborted");
    }
}

std::uint16_t TSocketClient::Accept() {
    WaitUntil([this] { return LookupDone || Canceled; });
    if (Canceled) throw ESockError("Accepting Canceled");
    if (!LastSucceeded) throw ESockError("Error creating Data Connection");
    ReportStatus(4, "Accepting");
    int length = sizeof RemoteAddress;
    const ws::SOCKET s = ws::accept(SocketHandle, &RemoteAddress, &length);
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket send aborted");
    }
    return s;
}

// ---- text functions
// -------------------------------------------------------------------------------

std::string DelimitedField(const std::string& text, char delimiter, std::int32_t index) {
    std::string field;
    if (index < 1) return field;
    std::int32_t count = 0;
    for (char c : text) {
        if (c == delimiter) {
            if (++count == index) break;
        } else if (count == index - 1) {
            field += c;
        }
    }
    return field;
}

std::int32_t DelimiterPos(const std::string& text, char delimiter, std::int32_t count) {
    std::int32_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == delimiter && ++seen == count) return static_cast<std::int32_t>(i + 1);
    return static_cast<std::int32_t>(text.size() + 1);
}

}  // namespace net
