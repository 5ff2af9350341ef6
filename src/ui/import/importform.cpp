#include "import/importform.h"

#include "ui_importform.h"

#include "import/importrun.h"
#include "shared/operation.h"
#include "shared/usertalk.h"
#include "shell/helpviewer.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPushButton>
#include <QScopeGuard>

#include <exception>

namespace mw {

// The run's talk: the please-wait texts go to the progress line and the window
// keeps answering (Cancel) while the run reports progress; questions, notices and
// errors go to the program's talk.
class TImportForm::RunTalk final : public UserTalk
{
public:
    RunTalk(TImportForm& form, UserTalk& user)
        : m_form(form)
        , m_user(user)
    {}

    bool ask(const QString& question) override { return m_user.ask(question); }
    void inform(const QString& text) override { m_user.inform(text); }
    void error(const QString& text) override { m_user.error(text); }
    bool retry(const QString& caption, const QString& text) override { return m_user.retry(caption, text); }

    void beginWait(const QString& text, bool) override { m_form.ShowProgress(text); }
    void wait(const QString& text) override { m_form.ShowProgress(text); }
    void progress(qint64, qint64) override { QCoreApplication::processEvents(); }
    bool cancelled() override
    {
        QCoreApplication::processEvents();
        return m_form.m_run && m_form.m_run->Aborted;
    }
    void endWait() override {}

private:
    TImportForm& m_form;
    UserTalk& m_user;
};

TImportForm::TImportForm(TMerrowindData& dataModule, HelpSystem& help, UserTalk& talk, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TImportForm>())
    , m_data(dataModule)
    , m_help(help)
    , m_talk(talk)
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    for (QWidget* w : std::initializer_list<QWidget*>{m_ui->Label1, m_ui->Animate1}) {
        QSizePolicy keepPlace = w->sizePolicy();
        keepPlace.setRetainSizeWhenHidden(true); // the window does not jump when they show
        w->setSizePolicy(keepPlace);
        w->setVisible(false);
    }

    // The topic follows the kind, which the opener sets after the window is made.
    if (m_help.available()) {
        auto* helpBtn = new QPushButton(QStringLiteral("&Help"), this);
        helpBtn->setObjectName(QStringLiteral("HelpBtn"));
        helpBtn->setAutoDefault(false);
        m_ui->buttonsLayout->addWidget(helpBtn);
        connect(helpBtn, &QPushButton::clicked, this, [this, helpBtn] { m_help.showTopic(m_helpContext, helpBtn); });
    }

    connect(m_ui->ImportB, &QPushButton::clicked, this, &TImportForm::ImportBClick);
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, &TImportForm::BitBtn2Click);
}

TImportForm::~TImportForm() = default;

void TImportForm::FormActivate()
{
    setWindowTitle(ImportRun::caption(ImportKind));
    m_ui->Label2->setText(ImportRun::heading(ImportKind));
    m_helpContext = ImportRun::helpContext(ImportKind);
    m_help.attach(this, m_helpContext);
}

void TImportForm::ShowProgress(const QString& text)
{
    if (m_run && m_run->Aborted)
        return; // the line says the run was cancelled until the window closes
    m_ui->Label1->setText(text);
    m_ui->Label1->repaint();
}

void TImportForm::ImportBClick()
{
    if (m_run)
        return;
    RunTalk talk(*this, m_talk);
    ImportRun run(m_data, talk);
    run.ImportKind = ImportKind;
    run.RecordsImported = [this](qint64 records) {
        ShowProgress(QStringLiteral("Records Imported = ") + QString::number(records));
    };
    OperationResult result;
    {
        OperationScope running; // the main window's checks wait for the run
        m_run = &run;
        m_imported = true;
        m_ui->ImportB->setEnabled(false);
        m_ui->Label1->setVisible(true);
        m_ui->Animate1->setVisible(true);
        const auto done = qScopeGuard([this] {
            m_run = nullptr;
            m_ui->Animate1->setVisible(false);
        });
        try {
            result = run.run();
        } catch (const std::exception& e) { // the database failed under a step: the run ends there
            result = OperationResult::failed(QString::fromStdString(e.what()));
        }
    }
    if (result.isFailed())
        m_talk.error(result.error);
    m_ui->Label1->clear();
    close();
}

void TImportForm::BitBtn2Click()
{
    if (!m_run) {
        QDialog::reject();
        return;
    }
    m_run->Aborted = true;
    m_ui->Label1->setText(QStringLiteral("Import Aborted By User"));
    m_ui->Label1->repaint();
}

void TImportForm::reject() { BitBtn2Click(); }

void TImportForm::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    FormActivate();
}

void TImportForm::changeEvent(QEvent* e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TImportForm::closeEvent(QCloseEvent* e)
{
    if (m_run) {
        BitBtn2Click(); // the run stops; the window closes once it has ended
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

} // namespace mw
