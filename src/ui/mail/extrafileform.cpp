#include "mail/extrafileform.h"

#include "ui_extrafileform.h"

#include "mail/mailsend.h"
#include "shell/helpviewer.h"

#include <QFileDialog>

namespace mw {

TExtraFileForm::TExtraFileForm(ExtraFiles& files, HelpSystem& help, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TExtraFileForm>())
    , m_files(files)
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    pickFiles = [this] {
        return QFileDialog::getOpenFileNames(
            this, QStringLiteral("Add Extra Files"), m_startDirectory,
            QStringLiteral("All Files (*.*);;Excel Files (*.xls);;Word Files (*.doc)"));
    };

    help.attach(this, 3120);
    if (QPushButton* helpBtn = help.makeHelpButton(this, 3120)) {
        helpBtn->setObjectName(QStringLiteral("HelpBtn"));
        m_ui->buttonsLayout->addWidget(helpBtn);
    }

    connect(m_ui->AddBtn, &QPushButton::clicked, this, &TExtraFileForm::AddBtnClick);
    connect(m_ui->DeleteBtn, &QPushButton::clicked, this, &TExtraFileForm::DeleteBtnClick);
    connect(m_ui->ResetBtn, &QPushButton::clicked, this, &TExtraFileForm::ResetBtnClick);
    connect(m_ui->CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
    showFiles();
}

TExtraFileForm::~TExtraFileForm() = default;

void TExtraFileForm::showEvent(QShowEvent* e)
{
    showFiles(); // a send may have emptied the list meanwhile
    QDialog::showEvent(e);
}

void TExtraFileForm::showFiles()
{
    m_ui->ListBox1->clear();
    m_ui->ListBox1->addItems(m_files.files); // the box sorts them
}

void TExtraFileForm::AddBtnClick()
{
    const QStringList picked = pickFiles ? pickFiles() : QStringList();
    for (const QString& file : picked)
        if (!m_files.files.contains(file))
            m_files.files << file;
    showFiles();
}

void TExtraFileForm::DeleteBtnClick()
{
    const QList<QListWidgetItem*> selected = m_ui->ListBox1->selectedItems();
    if (selected.isEmpty())
        return;
    m_files.files.removeOne(selected.first()->text());
    showFiles();
}

void TExtraFileForm::ResetBtnClick()
{
    m_files.files.clear();
    showFiles();
}

} // namespace mw
