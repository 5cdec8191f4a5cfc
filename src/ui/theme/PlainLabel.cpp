#include "ui/theme/PlainLabel.h"

#include <QDialog>
#include <QLabel>

QLabel* plainLabel(const TextStyle& style, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(style.font());
    label->setText(text);
    return label;
}

void prepareSheet(QDialog& sheet, const QString& title, QSize size)
{
    sheet.setAttribute(Qt::WA_DeleteOnClose);
    sheet.setWindowModality(Qt::WindowModal);
    sheet.setWindowTitle(title);
    sheet.setAccessibleName(title);
    sheet.setFixedSize(size);
    sheet.setAutoFillBackground(true);
}
