#include "app/Unit1.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "catalogue/AliasList.h"
#include "platform/bde/Session.h"
#include "platform/ibx/IBComponents.h"
#include "platform/rtl/StringList.h"
#include "platform/vcl/Application.h"
#include "platform/vcl/Dialogs.h"
#include "platform/vcl/StdCtrls.h"
#include "ui_Unit1.h"
#include "update/ModuleUpdate.h"

namespace {

// What the module update sees of the window: the real list, bar and box.
class MainWindowView : public update::Window {
  public:
    explicit MainWindowView(TfrmMain& form) : form_(form) {}

    int ItemIndex() const override { return form_.cmbAlias->currentIndex(); }
    std::string Item(int index) const override {
        if (index < 0 || index >= form_.cmbAlias->count()) {
            throw TStringList::IndexError(index);
        }
        return form_.cmbAlias->itemText(index).toStdString();
    }
    void SetProgressPosition(int position) override { form_.ProgressBar->setValue(position); }
    void ShowMessage(const std::string& text) override { vcl::ShowMessage(text); }

  private:
    TfrmMain& form_;
};

}  // namespace

TfrmMain::TfrmMain(TSession& session) : session_(session) {
    Ui::TfrmMain layout;
    layout.setupUi(this);
    bbStart = layout.bbStart;
    Label1 = layout.Label1;
    Label2 = layout.Label2;
    ProgressBar = layout.ProgressBar;
    Label3 = layout.Label3;
    cmbAlias = layout.cmbAlias;
    Label4 = layout.Label4;

    // Designer stores fonts in points; the layout's fonts are in pixels.
    setFont(vcl::Tahoma(11));
    for (QLabel* label : {Label1, Label2, Label4}) label->setFont(vcl::Tahoma(12));
    Label3->setFont(vcl::Tahoma(12, true));
    bbStart->setFont(vcl::Tahoma(12, true));

    IBQry = std::make_unique<TIBQuery>();
    IBDB = std::make_unique<TIBDatabase>();
    IBTrans = std::make_unique<TIBTransaction>();
    IBDBInfo = std::make_unique<TIBDatabaseInfo>();
    IBQryUpdate = std::make_unique<TIBQuery>();
    IBDB->SetParams(TStringList{"user_name=kefu"});
    IBDB->SetSQLDialect(1);
    IBTrans->SetDefaultDatabase(IBDB.get());
    for (TIBQuery* query : {IBQry.get(), IBQryUpdate.get()}) {
        query->SetDatabase(IBDB.get());
        query->SetTransaction(IBTrans.get());
    }
    IBDBInfo->SetDatabase(IBDB.get());

    OnShow = [this] { FormShow(); };
    connect(bbStart, &QPushButton::clicked, this,
            [this] { TApplication::HandleEvent([this] { bbStartClick(); }); });
}

TfrmMain::~TfrmMain() {
    hide();
    // The controls go first; the database components follow as members.
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    bbStart = nullptr;
    Label1 = Label2 = Label3 = Label4 = nullptr;
    ProgressBar = nullptr;
    cmbAlias = nullptr;
}

void TfrmMain::bbStartClick() {
    MainWindowView window(*this);
    update::RunModuleUpdate(window, {session_, *IBDB, *IBTrans, *IBQry, *IBDBInfo});
}

void TfrmMain::FormShow() {
    FillAliasList();
}

void TfrmMain::FillAliasList() {
    catalogue::FillAliasList(session_, *IBDB, [this](const std::string& name) {
        cmbAlias->Add(QString::fromStdString(name));
    });
}
