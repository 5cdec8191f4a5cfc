#include "ui/logging/header/LogKeywordsSheet.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/FlowChips.h"
#include "ui/theme/LoggerField.h"
#include "ui/theme/PlainLabel.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

LogKeywordsSheet::LogKeywordsSheet(LogKeywordStore& store, QWidget* parent) : QDialog(parent), m_store(store)
{
    prepareSheet(*this, QStringLiteral("Keyword alerts"), m_style.size);

    m_title = plainLabel(m_style.title, QStringLiteral("Keyword alerts"), this);
    m_done = new QPushButton(QStringLiteral("Done"), this);
    m_done->setDefault(true);
    connect(m_done, &QPushButton::clicked, this, &QDialog::accept);
    auto* header = new QHBoxLayout;
    header->addWidget(m_title);
    header->addStretch(1);
    header->addWidget(m_done);

    m_explanation = plainLabel(m_style.explanation,
                               QStringLiteral("When anyone says one of these on any live channel, even one you're "
                                              "only watching, you get an alert. Click it to listen to that channel."),
                               this);
    m_explanation->setWordWrap(true);

    auto* field = new LoggerField(m_style.field, QStringLiteral("police, fight, Sarah"), this);
    m_field = field->lineEdit();
    m_field->installEventFilter(this);
    m_add = new QPushButton(QStringLiteral("Add"), this);
    // A click leaves the keyboard in the field, for the next word.
    m_add->setFocusPolicy(Qt::TabFocus);
    connect(m_add, &QPushButton::clicked, this, &LogKeywordsSheet::addWords);
    auto* entry = new QHBoxLayout;
    entry->setSpacing(m_style.entrySpacing);
    entry->addWidget(field, 1, Qt::AlignVCenter);
    entry->addWidget(m_add, 0, Qt::AlignVCenter);

    m_empty = plainLabel(m_style.empty, QStringLiteral("No keywords yet."), this);
    m_chips = new FlowChips;
    connect(m_chips, &FlowChips::removeRequested, &m_store, &LogKeywordStore::remove);
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(m_chips);
    // The sheet's background shows through: setWidget turns the filling on.
    m_scroll->viewport()->setAutoFillBackground(false);
    m_chips->setAutoFillBackground(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(m_style.padding, m_style.padding, m_style.padding, m_style.padding);
    layout->setSpacing(m_style.spacing);
    layout->addLayout(header);
    layout->addWidget(m_explanation);
    layout->addLayout(entry);
    layout->addWidget(m_empty);
    layout->addWidget(m_scroll, 1);
    // Holds the rest of the height while the list is empty and its label stands alone.
    layout->addStretch(0);

    follow();
    connect(&m_store, &LogKeywordStore::wordsChanged, this, &LogKeywordsSheet::follow);
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &LogKeywordsSheet::restyle);
    restyle();
    m_field->setFocus();
}

void LogKeywordsSheet::addWords()
{
    const QString draft = m_field->text();
    m_field->clear();
    m_store.add(draft);
}

bool LogKeywordsSheet::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Taken here: left to the line edit, Return would reach "Done" and close the sheet.
            addWords();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void LogKeywordsSheet::follow()
{
    const QStringList& words = m_store.words();
    m_chips->setWords(words);
    m_empty->setVisible(words.isEmpty());
    m_scroll->setVisible(!words.isEmpty());
}

void LogKeywordsSheet::restyle()
{
    setPaletteColour(this, QPalette::Window, Theme::background.current());
    setPaletteColour(m_title, QPalette::WindowText, Theme::ink.current());
    setPaletteColour(m_explanation, QPalette::WindowText, Theme::muted.current());
    setPaletteColour(m_empty, QPalette::WindowText, Theme::muted.current());
    update();
}
