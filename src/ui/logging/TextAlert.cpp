#include "ui/logging/TextAlert.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/LoggerField.h"
#include "ui/theme/PlainLabel.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A button's title shown as written: a single "&" would mark a mnemonic.
QString buttonText(const QString& title)
{
    QString text = title;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QPushButton* makeButton(const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(buttonText(title), parent);
    button->setAccessibleName(title);
    return button;
}

QLabel* makeLabel(const QString& text, const TextStyle& style, QWidget* parent)
{
    QLabel* label = plainLabel(style, text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

TextAlert::TextAlert(const Texts& texts, QWidget* parent) : QDialog(parent)
{
    const Style style;
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(texts.title);
    setAccessibleName(texts.title);
    setFixedWidth(style.width);

    m_title = makeLabel(texts.title, style.title, this);
    m_message = makeLabel(texts.message, style.message, this);
    auto* field = new LoggerField(style.field, texts.placeholder, this);
    m_field = field->lineEdit();
    m_field->setText(texts.text);
    m_field->installEventFilter(this);

    m_cancel = makeButton(QStringLiteral("Cancel"), this);
    m_accept = makeButton(texts.acceptTitle, this);
    m_accept->setDefault(true);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_accept, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(style.spacing);
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(style.margin, style.margin, style.margin, style.margin);
    layout->setSpacing(style.spacing);
    layout->addWidget(m_title);
    layout->addWidget(m_message);
    layout->addWidget(field);
    layout->addSpacing(style.buttonGap);
    layout->addLayout(buttons);

    m_field->setFocus();
    restyle();
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &TextAlert::restyle);
}

TextAlert* TextAlert::renameSpeaker(const QString& speaker, const QString& text, QWidget* parent)
{
    return new TextAlert(
        {QStringLiteral("Rename speaker"),
         QStringLiteral("Set a name for ") + speaker + QStringLiteral(". It applies across the transcript."),
         QStringLiteral("Name"), text, QStringLiteral("Save")},
        parent);
}

TextAlert* TextAlert::nameChannel(std::optional<int> index, const QString& text, QWidget* parent)
{
    // Widened first: the last int index still reads one more than itself.
    const qint64 shown = index ? qint64(*index) + 1 : 1;
    return new TextAlert({QStringLiteral("Name this channel"),
                          QStringLiteral("Lines from channel ") + QString::number(shown) +
                              QStringLiteral(" are labelled with this name."),
                          QStringLiteral("Presenter, Guest, Boom…"), text, QStringLiteral("Save")},
                         parent);
}

TextAlert* TextAlert::typeTimecode(const QString& draft, QWidget* parent)
{
    return new TextAlert({QStringLiteral("Type the camera's timecode"),
                          QStringLiteral("Type a timecode a few seconds ahead of the camera, then press Lock the "
                                         "moment the camera shows it."),
                          QStringLiteral("HH:MM:SS:FF"), draft, QStringLiteral("Lock")},
                         parent);
}

QString TextAlert::title() const
{
    return m_title->text();
}

QString TextAlert::message() const
{
    return m_message->text();
}

QString TextAlert::text() const
{
    return m_field->text();
}

void TextAlert::done(int result)
{
    const bool first = !m_answered;
    m_answered = true;
    const QString typed = text();
    QDialog::done(result);
    if (!first)
        return;
    if (result == QDialog::Accepted)
        Q_EMIT accepted(typed);
    else
        Q_EMIT cancelled();
}

bool TextAlert::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Taken here: left to the line edit, the dialog's default button would take it too.
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TextAlert::restyle()
{
    const QColor ink = Theme::ink.current();
    setPaletteColour(m_title, QPalette::WindowText, ink);
    setPaletteColour(m_message, QPalette::WindowText, ink);
}
