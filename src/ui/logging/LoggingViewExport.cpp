#include "ui/logging/LoggingView.h"

#include "screens/LogExporter.h"
#include "ui/logging/header/HeaderPillButton.h"
#include "ui/logging/header/HeaderView.h"
#include "ui/logging/sheets/FileDialogSavePanel.h"

#include <QLayout>
#include <QMenu>

void LoggingView::buildExport()
{
    m_savePanel = std::make_unique<FileDialogSavePanel>();
    m_exporter = std::make_unique<LogExporter>(*m_screen);
    m_exporter->setSavePanel(m_savePanel.get());

    m_exportButton = new HeaderPillButton;
    m_exportButton->setObjectName(QStringLiteral("exportButton"));
    m_exportButton->setContent(QStringLiteral("square.and.arrow.up"), QStringLiteral("Export"));
    auto* menu = new QMenu(m_exportButton);
    LogExporter* exporter = m_exporter.get();
    // Rows are read as the menu opens: the clean transcript turns available once words arrive.
    connect(menu, &QMenu::aboutToShow, menu, [menu, exporter] {
        menu->clear();
        for (const LogExporter::MenuItem& item : exporter->menuItems()) {
            if (!item.action) {
                menu->addSeparator();
                continue;
            }
            // Menu texts are shown as written: a lone "&" would be a mnemonic.
            QAction* action = menu->addAction(QString(item.text).replace(QLatin1Char('&'), QStringLiteral("&&")));
            action->setEnabled(item.enabled);
            const LogExporter::Action chosen = *item.action;
            connect(action, &QAction::triggered, exporter, [exporter, chosen] { exporter->trigger(chosen); });
        }
    });
    m_exportButton->setMenu(menu);
    HeaderModel& header = m_header->model();
    m_exportButton->setEnabled(header.exportEnabled());
    connect(&header, &HeaderModel::exportEnabledChanged, m_exportButton,
            [this, &header] { m_exportButton->setEnabled(header.exportEnabled()); });
    m_header->exportSlot()->layout()->addWidget(m_exportButton);
}
