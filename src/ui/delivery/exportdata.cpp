#include "delivery/exportdata.h"

#include "ui_exportdata.h"

#include "datastore/merrowinddata.h"
#include "delivery/dataexport.h"
#include "mail/emailform.h"
#include "mail/mailsend.h"
#include "shell/helpviewer.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace mw {

TExportData::TExportData(TMerrowindData& store, HelpSystem& help, UserTalk& talk, ExtraFiles* extraFiles,
                         QWidget* parent)
    : QDialog(parent)
    , pickSaveFile([this](const QString& start) {
        return QFileDialog::getSaveFileName(this, QString(), start, ExportFileFilter());
    })
    , openFile([](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); })
    , m_ui(std::make_unique<Ui::TExportData>())
    , m_export(std::make_unique<DataExport>(store, talk))
    , m_store(store)
    , m_talk(talk)
    , m_extraFiles(extraFiles)
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_ui->StartDate->setDate(m_export->StartDate);
    m_ui->EndDate->setDate(m_export->EndDate);
    m_ui->StartDate->setEnabled(false);
    m_ui->EndDate->setEnabled(false);

    help.attach(this, 7500);
    if (QPushButton* helpBtn = help.makeHelpButton(this, 7500)) {
        helpBtn->setObjectName(QStringLiteral("HelpBtn"));
        m_ui->buttonsLayout->addWidget(helpBtn);
    }

    connect(m_ui->SendToDeptCheck, &QCheckBox::toggled, this, &TExportData::SendToDeptClick);
    connect(m_ui->ExportAll, &QCheckBox::toggled, this, &TExportData::ExportAllClick);
    connect(m_ui->ExportAllJobs, &QCheckBox::toggled, this, &TExportData::ExportAllJobsClick);
    connect(m_ui->UseDatesCheck, &QCheckBox::toggled, m_ui->StartDate, &QWidget::setEnabled);
    connect(m_ui->UseDatesCheck, &QCheckBox::toggled, m_ui->EndDate, &QWidget::setEnabled);
    connect(m_ui->BrowseBtn, &QToolButton::clicked, this, &TExportData::BrowseBtnClick);
    connect(m_ui->ExportBtn, &QPushButton::clicked, this, &TExportData::ExportBtnClick);
    connect(m_ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

TExportData::~TExportData() = default;

void TExportData::Setup(const QString& groupCaption, const QString& group, const QString& reqNumber)
{
    m_export->Setup(groupCaption, group, reqNumber);
    m_ui->ExportAll->setText(m_export->ExportAllCaption);
    m_ui->ExportAllJobs->setText(m_export->ExportAllJobsCaption);
    m_ui->MessageMemo->setPlainText(m_export->Message.join(QLatin1Char('\n')));
    m_ui->SaveFileEdit->setText(m_export->SaveFileTo);
}

void TExportData::SendToDeptClick(bool on)
{
    m_ui->SaveFileEdit->setEnabled(!on);
    m_ui->BrowseBtn->setEnabled(!on);
    if (!on) {
        m_ui->ExportAll->setChecked(false);
        m_ui->ExportAllJobs->setChecked(false);
    }
}

void TExportData::ExportAllClick(bool on)
{
    if (!on)
        return;
    m_ui->SendToDeptCheck->setChecked(true);
    m_ui->ExportAllJobs->setChecked(false);
}

void TExportData::ExportAllJobsClick(bool on)
{
    if (!on)
        return;
    m_ui->SendToDeptCheck->setChecked(true);
    m_ui->ExportAll->setChecked(false);
}

void TExportData::BrowseBtnClick()
{
    const QString current = m_ui->SaveFileEdit->text();
    const QString chosen = pickSaveFile(current.isEmpty() ? ExportProposedFileName() : current);
    if (!chosen.isEmpty())
        m_ui->SaveFileEdit->setText(chosen);
}

void TExportData::ExportBtnClick()
{
    DataExport& e = *m_export;
    const QString text = m_ui->MessageMemo->toPlainText();
    e.Message = text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    e.SendToDept = m_ui->SendToDeptCheck->isChecked();
    e.SaveFileTo = m_ui->SaveFileEdit->text();
    e.ApprovedOnly = m_ui->ApprovedCheck->isChecked();
    e.Continuous = m_ui->ContinuousCheck->isChecked();
    e.ExportAll = m_ui->ExportAll->isChecked();
    e.ExportAllJobs = m_ui->ExportAllJobs->isChecked();
    e.UseDates = m_ui->UseDatesCheck->isChecked();
    e.StartDate = m_ui->StartDate->date();
    e.EndDate = m_ui->EndDate->date();
    e.Extra = m_extraFiles;
    e.OpenFile = openFile;
    e.SendMessage = [this](const TMailMessage& message) {
        TEMailForm form(m_store, m_talk, m_extraFiles, this);
        form.mail().Message = message;
        form.show();
        const bool sent = form.Send();
        form.hide();
        return sent;
    };
    setEnabled(false);
    e.Export();
    setEnabled(true);
    m_ui->SaveFileEdit->setText(e.SaveFileTo);
    accept();
}

} // namespace mw
