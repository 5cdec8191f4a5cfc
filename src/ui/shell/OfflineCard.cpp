#include "ui/shell/OfflineCard.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/LoggerCard.h"
#include "ui/theme/LoggerPrimary.h"
#include "ui/theme/TextStyle.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QLabel>
#include <QVBoxLayout>

OfflineCard::OfflineCard(const QString& message, QWidget* parent) : QWidget(parent)
{
    auto* content = new QWidget;
    m_title = new QLabel(tr("Can't reach Pindle"), content);
    m_title->setFont(TextStyle::cardTitle.font());
    m_title->setAlignment(Qt::AlignCenter);

    // The account's sentence is shown verbatim: plain text, centred, wrapped in the column.
    m_message = new QLabel(content);
    m_message->setObjectName(QStringLiteral("offlineMessage"));
    m_message->setTextFormat(Qt::PlainText);
    m_message->setText(message);
    m_message->setFont(TextStyle::body.font());
    m_message->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_message->setWordWrap(true);
    m_message->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    m_button = new LoggerPrimary(tr("Try again"), content);

    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(kSpacing);
    stack->addWidget(m_title);
    stack->addWidget(m_message);
    stack->addWidget(m_button);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new LoggerCard(content, this));

    connect(m_button, &QAbstractButton::clicked, this, &OfflineCard::tryAgain);
    restyle();
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &OfflineCard::restyle);
}

QString OfflineCard::message() const
{
    return m_message->text();
}

void OfflineCard::restyle()
{
    setPaletteColour(m_title, QPalette::WindowText, Theme::ink.current());
    setPaletteColour(m_message, QPalette::WindowText, Theme::muted.current());
}
