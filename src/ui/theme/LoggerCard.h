#pragma once

#include <QSize>
#include <QWidget>

// The container of a centred form (the account screens): the window's background with the content centred in a
// column at most 420 wide, padded by 40. The card asks for at least 520 × 560 and grows with the
// window.
class LoggerCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int kContentMaxWidth = 420;
    static constexpr int kPadding = 40;
    static constexpr QSize kMinimumSize{520, 560};

    // Takes ownership of `content`.
    explicit LoggerCard(QWidget* content, QWidget* parent = nullptr);

    [[nodiscard]] QWidget* content() const { return m_content; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* m_content;
};
