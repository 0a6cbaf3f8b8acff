#include "panel/blocking/StatisticsWindow.h"

#include <QAbstractListModel>
#include <QGroupBox>
#include <QListView>

#include "lib/platform/widgets/Controls.h"
#include "lib/rtl/ScopeExit.h"
#include "panel/settings/Settings.h"

namespace blocking {

// The list's items straight from the log's text: no copy per line, so a million lines load and
// scroll at once.
class LogLinesModel final : public QAbstractListModel {
  public:
    LogLinesModel(const blocklog::BlockLog& log, QObject* parent)
        : QAbstractListModel(parent), log_(log) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(log_.Count());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        const std::string_view line = log_.Line(static_cast<std::size_t>(index.row()));
        return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    }
    template <class Change>
    void Reset(Change&& change) {
        beginResetModel();
        const rtl::ScopeExit end([this] { endResetModel(); });
        change();
    }

  private:
    const blocklog::BlockLog& log_;
};

TForm7::TForm7(QWidget* parent) : TForm(parent) {
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("Veltrix Statistics"));
    resize(547, 485);
    GroupBox1 = new QGroupBox(QStringLiteral(" Statistics: "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 529, 417);
    ListBox1 = new QListView(GroupBox1);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 16, 513, 393);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    model_ = new LogLinesModel(log_, this);
    ListBox1->setModel(model_);
    SpeedButton1 = platform::SpeedButton(this, "SpeedButton1", "Close", 304, 440, 89, 22);
    SpeedButton2 = platform::SpeedButton(this, "SpeedButton2", "Clear", 408, 440, 89, 22);
    On(SpeedButton1, &QPushButton::clicked, [this] { SpeedButton1Click(); });
    On(SpeedButton2, &QPushButton::clicked, [this] { SpeedButton2Click(); });
    CentreOnScreen();
    log_.SetPath(platform::Application::ProgramDirectory() + "Block.log");
    platform::Guarded([this] { FormCreate(); });
}

TForm7::~TForm7() = default;

void TForm7::FormCreate() {
    model_->Reset([this] { log_.Load(); });
    ListBox1->scrollToBottom();  // the newest lines in view
}

void TForm7::SpeedButton2Click() {
    model_->Reset([this] { log_.Clear(); });
}

void TForm7::FormClose() {
    // Where the service enforces, the log is root's: the service removes what the parent cleared
    // (the lines read at the load), and the window reads the file anew.
    if (settings::Current().ThroughService()) {
        model_->Reset([this] {
            if (log_.IsCleared())
                settings::Current().ClearLog(log_.KnownSize(), log_.KnownInode(),
                                             log_.PreviousSize());
            log_.Load();
        });
        return;
    }
    model_->Reset([this] { log_.WriteBack(); });
}

}  // namespace blocking
