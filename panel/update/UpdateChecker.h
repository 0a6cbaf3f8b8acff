// TForm8, the update checker (modeless): two steps against the product web site. "To check up
// connection" fetches the connection test page and, when it says "Yes you connected.", reveals
// "What last version?", which fetches the latest version and compares it with "thisversion";
// a difference reveals "Download new version", which opens the download page in the browser.
// Buttons are only ever revealed. Every failure of a fetch says "Connection Failed".
//
// The client's time-out ends a fetch after 15 s of silence, and a deadline ends every fetch
// within 15 s whatever the server does (a server that trickles forever, one that never reads);
// a step pressed while a fetch is still running is ignored. An HTTP error status in the version
// step is a failed fetch, not a verdict.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "lib/platform/widgets/Forms.h"

class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace net {
class THttpClient;
}

namespace update {

inline constexpr int kFetchTimeOutMs = 15000;   // silence
inline constexpr int kFetchDeadlineMs = 15000;  // the whole fetch

class TForm8 final : public platform::TForm {
    Q_OBJECT
  public:
    explicit TForm8(QWidget* parent = nullptr);
    ~TForm8() override;

    QGroupBox* GroupBox1;
    QPlainTextEdit* Memo1;
    QPushButton* SpeedButton1;  // What last version?
    QPushButton* SpeedButton2;  // To check up connection
    QPushButton* SpeedButton3;  // Download new version
    QPushButton* SpeedButton4;  // Close
    QLineEdit* Edit1;           // the installed version, off screen
    std::unique_ptr<net::THttpClient> HttpClient1;
    int FetchDeadlineMs = kFetchDeadlineMs;

    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click() { Close(); }

    bool Fetching() const { return fetching_; }

  private:
    void OneStepAtATime(const std::function<void()>& step);
    void ConnectionTest();
    void VersionComparison();
    // Fetches `path` of the product site into the memo; false (after "Connection Failed") when
    // the fetch failed.
    bool FetchIntoMemo(const std::string& path, bool errorStatusFails);
    void AppendLine(const std::string& line);

    bool fetching_ = false;
};

}  // namespace update
