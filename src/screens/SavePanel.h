#pragma once

#include <QString>

#include <functional>
#include <optional>

// Asks the user where an exported file goes. The view installs the desktop's dialog; tests
// install one that answers on its own.
class SavePanel {
public:
    // The chosen path, or nullopt when the user cancelled.
    using Answer = std::function<void(const std::optional<QString>& path)>;

    virtual ~SavePanel() = default;

    // Offers `suggestedName`; `pdfOnly` lets the user pick PDF files only, and the path answered
    // then ends in ".pdf". `answer` runs once, on the main thread, right away or later.
    virtual void ask(const QString& suggestedName, bool pdfOnly, Answer answer) = 0;
};
