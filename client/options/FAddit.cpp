#include "client/options/FAddit.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/settings/uSettings.h"
#include "platform/Registry.h"
#include "platform/gui/EditControls.h"
#include "platform/qt/Codepage.h"

using namespace kv;

TfrmFilter::TfrmFilter(std::function<void(bool Checked)> KeywordsOnly, QWidget *Parent)
    : QDialog(Parent), FKeywordsOnly(std::move(KeywordsOnly)) {
  setObjectName("frmFilter");
  setWindowTitle("Advanced Filter");
  setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  auto *Column = new QVBoxLayout(this);
  chkInStockOnly = new QCheckBox("Only show items which are \"In Stock\" ", this);
  chkInStockOnly->setObjectName("chkInStockOnly");
  chkAllSearchWords = new QCheckBox("Only show items which include ALL search words in description", this);
  chkAllSearchWords->setObjectName("chkAllSearchWords");
  chkAdditionalwords =
      new QCheckBox("Only show items which include the following additional words in description", this);
  chkAdditionalwords->setObjectName("chkAdditionalwords");
  edtAdditionalWords = new TEdit(this);
  edtAdditionalWords->setObjectName("edtAdditionalWords");
  btnOK = new QPushButton("OK", this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  Column->addWidget(chkInStockOnly);
  Column->addWidget(chkAllSearchWords);
  Column->addWidget(chkAdditionalwords);
  Column->addWidget(new QLabel("Enter all words to include in your filter separated by spaces only", this));
  Column->addWidget(edtAdditionalWords);
  Column->addWidget(new QLabel("e.g. paperback", this));
  auto *Buttons = new QHBoxLayout;
  Buttons->addStretch();
  Buttons->addWidget(btnOK);
  Buttons->addWidget(btnCancel);
  Column->addLayout(Buttons);
  connect(chkAdditionalwords, &QCheckBox::toggled, this, [this] { chkAdditionalwordsClick(); });
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  chkAdditionalwordsClick();
  LoadFilter();
}

void TfrmFilter::LoadFilter() {
  chkInStockOnly->setChecked(ReadSettingBool("Advanced", "InStockOnly", false));
  chkAllSearchWords->setChecked(ReadSettingBool("Advanced", "AllSearchWords", false));
  chkAdditionalwords->setChecked(ReadSettingBool("Advanced", "AdditionalWordsOnly", false));
  edtAdditionalWords->setText(FromAnsi(ReadSettingString("Advanced", "AdditionalWords", "")));
}

void TfrmFilter::SaveFilter() {
  {
    TRegistryBatch Batch;
    TRegIniFile Ini(SettingsKey, HKEY_LOCAL_MACHINE);
    Ini.WriteBool("Advanced", "InStockOnly", chkInStockOnly->isChecked());
    Ini.WriteBool("Advanced", "AllSearchWords", chkAllSearchWords->isChecked());
    Ini.WriteBool("Advanced", "AdditionalWordsOnly", chkAdditionalwords->isChecked());
    Ini.WriteString("Advanced", "AdditionalWords", ToAnsi(edtAdditionalWords->text()));
    Batch.Commit();
  }
  if (FKeywordsOnly)
    FKeywordsOnly(chkAllSearchWords->isChecked());
}

void TfrmFilter::chkAdditionalwordsClick() { edtAdditionalWords->setEnabled(chkAdditionalwords->isChecked()); }

void TfrmFilter::done(int Result) {
  if (Result == QDialog::Accepted)
    SaveFilter();
  QDialog::done(Result);
}
