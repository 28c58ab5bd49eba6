#pragma once

#include "app/StatusPanel.h"

#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QPushButton;
class QRadioButton;

namespace tavrin {

class CommandRunner;
class SerialLink;
class ShapeWidget;

// The main window: turns clicks into command calls and shows the status panel.
class Form1 : public QWidget {
    Q_OBJECT

public:
    static inline const QString InitialCaption = QStringLiteral("Choose a port");

    Form1(CommandRunner& runner, SerialLink& link, StatusPanel& panel, QWidget* parent = nullptr);

    QPushButton* RSEE() const { return m_RSEE; }
    QPushButton* OWEE() const { return m_OWEE; }
    QRadioButton* Com(int index) const;
    QLabel* Label4() const { return m_Label4; }
    ShapeWidget* shape(StatusPanel::Shape which) const;

    // Twips to pixels, at 15 twips a pixel.
    static int pixels(double twips);
    // A 0x00BBGGRR value or a system colour reference, as this window's palette shows it.
    QColor colourFor(quint32 colour) const;

public slots:
    void RSEE_Click();
    void OWEE_Click();
    void Com_Click(int index);
    void Form_Unload();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr double MinimumPointSize = 6;

    void createControls();
    void fitPortCaptions();
    // Pixels by which the widest port caption in `font` runs into the next option or past the
    // window's edge; zero or less when every caption is whole.
    int portCaptionOverflow(const QFont& font) const;
    void Form_Load();
    void showPortInUse();
    void showShape(StatusPanel::Shape which);
    void showForeColor(quint32 colour);
    QString portToolTip(int index) const;

    CommandRunner& m_runner;
    StatusPanel& m_panel;
    SerialLink& m_link;
    QPushButton* m_RSEE = nullptr;
    QPushButton* m_OWEE = nullptr;
    QLabel* m_Label4 = nullptr;
    QButtonGroup* m_Com = nullptr;
    ShapeWidget* m_shapes[3] = {};
    bool m_portChosen = false;
};

} // namespace tavrin
