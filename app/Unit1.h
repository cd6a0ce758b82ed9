#pragma once

#include <memory>

#include "platform/vcl/Forms.h"

class QLabel;
class QProgressBar;
class QPushButton;
class TComboBox;
class TIBDatabase;
class TIBDatabaseInfo;
class TIBQuery;
class TIBTransaction;
class TSession;

// The program's one window. Its controls come from the stored layout Unit1.ui;
// the database components are created after them and released before them
// in reverse (the members are declared in that order).
class TfrmMain : public TForm {
  public:
    explicit TfrmMain(TSession& session);
    ~TfrmMain() override;

    QPushButton* bbStart;
    QLabel* Label1;
    QLabel* Label2;
    std::unique_ptr<TIBQuery> IBQry;
    std::unique_ptr<TIBDatabase> IBDB;
    std::unique_ptr<TIBTransaction> IBTrans;
    std::unique_ptr<TIBDatabaseInfo> IBDBInfo;
    QProgressBar* ProgressBar;
    std::unique_ptr<TIBQuery> IBQryUpdate;
    QLabel* Label3;
    TComboBox* cmbAlias;
    QLabel* Label4;

    void bbStartClick();
    void FormShow();

  private:
    void FillAliasList();

    TSession& session_;
};
