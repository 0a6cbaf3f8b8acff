// The family list, the first window of Veltrix in a parent's account: every member account of
// group "veltrix" with its state (a password set or not yet; blocking on or off; allowed or
// blocked now, and until when; programs stopped today; the newest alert for the parent), read
// from the system service when the window shows and every few seconds after, in one request made
// off the user-interface thread, so a slow service never freezes the window. The parent chooses
// a child (Open, Return or a double click) and the panel's windows then work on that child's
// sealed settings; closing this window ends the program. A child's open request for more time
// shows in a line of its own under the child's, with Grant and Refuse.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "lib/platform/widgets/Forms.h"
#include "panel/family/FamilyState.h"

class QLabel;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace family {

inline constexpr int kRefreshMs = 5000;

class TFamilyForm final : public platform::TForm {
    Q_OBJECT
  public:
    explicit TFamilyForm(QWidget* parent = nullptr);
    ~TFamilyForm() override;

    QLabel* Label1;
    QTreeWidget* List;
    QPushButton* OpenButton;
    QPushButton* CloseButton;

    // Runs when the parent chose a child.
    void OnOpen(std::function<void(const MemberState&)> open) { open_ = std::move(open); }
    // Runs when the parent grants (`grant`) or refuses a child's open request.
    void OnAnswer(std::function<void(const MemberState&, bool grant)> answer) {
        answer_ = std::move(answer);
    }
    // The Grant or Refuse button of `account`'s open request, or nullptr.
    QPushButton* AnswerButton(const std::string& account, bool grant) const;
    // Before this window closes (the program ends): the child's windows close first.
    void OnClosing(std::function<void()> closing) { closing_ = std::move(closing); }
    // Asks the service for the family again; the list shows the answer when it comes (an ask
    // still under way is followed by one more).
    void Refresh();
    const std::vector<MemberState>& Members() const { return members_; }
    // How many answers the list has shown; whether an ask is under way.
    int Answers() const { return answers_; }
    bool Asking() const { return asking_; }
    void OpenClick();

  protected:
    void FormShow() override;
    void FormClose() override;

  private:
    void Answered(std::vector<MemberState> members, const std::string& why);
    void AddRequest(QTreeWidgetItem* memberItem, const MemberState& m);

    std::vector<MemberState> members_;
    std::thread asker_;  // the ask under way, joined before the next and at the end
    bool asking_ = false, again_ = false;
    int answers_ = 0;
    std::unique_ptr<QTimer> refresh_;
    std::function<void(const MemberState&)> open_;
    std::function<void()> closing_;
    std::function<void(const MemberState&, bool)> answer_;
};

}  // namespace family
