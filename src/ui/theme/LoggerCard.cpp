#include "ui/theme/LoggerCard.h"

#include "ui/theme/Theme.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// The content takes all the width it may have (up to its maximum) before the margins beside it
// grow: its stretch outweighs theirs.
constexpr int kContentStretch = 1000;

} // namespace

LoggerCard::LoggerCard(QWidget* content, QWidget* parent) : QWidget(parent), m_content(content)
{
    setMinimumSize(kMinimumSize);
    m_content->setMaximumWidth(kContentMaxWidth);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addStretch(1);
    row->addWidget(m_content, kContentStretch);
    row->addStretch(1);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(0);
    column->addStretch(1);
    column->addLayout(row);
    column->addStretch(1);
}

void LoggerCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::background.current());
}
