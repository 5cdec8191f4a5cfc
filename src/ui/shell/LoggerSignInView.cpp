#include "ui/shell/LoggerSignInView.h"

#include "screens/LoggerSignInModel.h"
#include "service/LoggerAccount.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/LinkButton.h"
#include "ui/theme/LoggerCard.h"
#include "ui/theme/LoggerField.h"
#include "ui/theme/LoggerPrimary.h"
#include "ui/theme/TextStyle.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

// Text that may come from the user is never read as rich text, and long unbroken text (an
// address) is cut at the card's edge rather than widening the card.
QLabel* textLabel(const TextStyle& style, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFont(style.font());
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

bool isReturn(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

LoggerSignInView::LoggerSignInView(LoggerAccount& account, QWidget* parent)
    : QWidget(parent), m_model(new LoggerSignInModel(account.email(), LoggerSignInModel::actionsFor(account), this))
{
    auto* form = new QWidget;
    m_title = textLabel(TextStyle::screenTitle, form);
    m_title->setText(QStringLiteral("Pindle Logger"));
    m_intro = textLabel(TextStyle::bodyLarge, form);
    m_emailField = new LoggerField(TextStyle::field, QString::fromLatin1(kEmailPlaceholder), form);
    m_emailField->lineEdit()->setObjectName(QStringLiteral("emailField"));
    m_codeField = new LoggerField(TextStyle::codeField, QString::fromLatin1(kCodePlaceholder), form);
    m_codeField->lineEdit()->setObjectName(QStringLiteral("codeField"));
    m_primary = new LoggerPrimary(m_model->primaryTitle(), form);
    m_differentEmail = new LinkButton(tr("Use a different email"), form);
    m_error = textLabel(TextStyle::detail, form);
    m_error->setObjectName(QStringLiteral("signInError"));

    auto* stack = new QVBoxLayout(form);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(kSpacing);
    stack->addWidget(m_title);
    stack->addWidget(m_intro);
    stack->addWidget(m_emailField);
    stack->addWidget(m_codeField);
    stack->addWidget(m_primary);
    stack->addWidget(m_differentEmail, 0, Qt::AlignLeft);
    stack->addWidget(m_error);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new LoggerCard(form, this));

    // Typing goes to the model, and so does text an assistive tool writes into a field (that
    // is not an edit to Qt); Return is taken here so that it runs the step's action and goes no
    // further. The model ignores its own text coming back.
    connect(m_emailField->lineEdit(), &QLineEdit::textChanged, m_model, &LoggerSignInModel::setEmail);
    connect(m_codeField->lineEdit(), &QLineEdit::textChanged, m_model, &LoggerSignInModel::setCode);
    m_emailField->lineEdit()->installEventFilter(this);
    m_codeField->lineEdit()->installEventFilter(this);
    connect(m_primary, &QAbstractButton::clicked, this, &LoggerSignInView::primaryClicked);
    connect(m_differentEmail, &QAbstractButton::clicked, m_model, &LoggerSignInModel::useDifferentEmail);
    connect(m_model, &LoggerSignInModel::changed, this, &LoggerSignInView::showModel);
    connect(m_model, &LoggerSignInModel::focusRequested, this, &LoggerSignInView::focusField);

    restyle();
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &LoggerSignInView::restyle);
    showModel();
}

void LoggerSignInView::primaryClicked()
{
    (void)m_model->submit();
}

bool LoggerSignInView::eventFilter(QObject* watched, QEvent* event)
{
    // Only the step's own field is shown, so Return there is the step's command.
    if (isReturn(event) && (watched == m_emailField->lineEdit() || watched == m_codeField->lineEdit())) {
        (void)m_model->submit();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void LoggerSignInView::showModel()
{
    const bool codeStep = m_model->sent();
    m_intro->setText(m_model->introText());
    m_emailField->setVisible(!codeStep);
    m_codeField->setVisible(codeStep);
    m_differentEmail->setVisible(codeStep);
    // Only text the model changed itself is written back, so typing keeps its cursor.
    if (m_emailField->lineEdit()->text() != m_model->email())
        m_emailField->lineEdit()->setText(m_model->email());
    if (m_codeField->lineEdit()->text() != m_model->code())
        m_codeField->lineEdit()->setText(m_model->code());
    m_primary->setTitle(m_model->primaryTitle());
    m_primary->setEnabled(m_model->canSubmit());
    const std::optional<QString>& error = m_model->error();
    m_error->setText(error.value_or(QString()));
    m_error->setVisible(error.has_value());
}

void LoggerSignInView::focusField()
{
    LoggerField* field = m_model->sent() ? m_codeField : m_emailField;
    field->lineEdit()->setFocus(Qt::OtherFocusReason);
}

void LoggerSignInView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    focusField();
}

void LoggerSignInView::restyle()
{
    setPaletteColour(m_title, QPalette::WindowText, Theme::ink.current());
    setPaletteColour(m_intro, QPalette::WindowText, Theme::muted.current());
    setPaletteColour(m_error, QPalette::WindowText, Theme::coral);
}
