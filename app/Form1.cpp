#include "app/Form1.h"

#include "app/PortOptionStyle.h"
#include "app/ShapeWidget.h"
#include "commands/CommandRunner.h"
#include "link/SerialLink.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>

#include <algorithm>
#include <limits>

namespace tavrin {

namespace {

constexpr double TwipsPerPixel = 15;

struct Geometry {
    int left, top, width, height;
};

void place(QWidget* widget, Geometry twips) {
    widget->setGeometry(Form1::pixels(twips.left), Form1::pixels(twips.top),
                        Form1::pixels(twips.width), Form1::pixels(twips.height));
}

constexpr Geometry BarGeometry{120, 1440, 2775, 375};

} // namespace

Form1::Form1(CommandRunner& runner, SerialLink& link, StatusPanel& panel, QWidget* parent)
    : QWidget(parent)
    , m_runner(runner)
    , m_panel(panel)
    , m_link(link) {
    setWindowTitle(QStringLiteral("Tavrin"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/tavrin-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/tavrin-32.png"), QSize(32, 32));
    setWindowIcon(icon);
    resize(pixels(3000), pixels(1875));
    // The layout is fixed in twips, and small: so is the face.
    QFont small = font();
    small.setPointSizeF(std::min(small.pointSizeF(), 8.0));
    setFont(small);
    createControls();

    connect(&m_panel, &StatusPanel::captionChanged, m_Label4, &QLabel::setText);
    connect(&m_panel, &StatusPanel::foreColorChanged, this, &Form1::showForeColor);
    connect(&m_panel, &StatusPanel::shapeChanged, this, &Form1::showShape);
    connect(m_RSEE, &QPushButton::clicked, this, &Form1::RSEE_Click);
    connect(m_OWEE, &QPushButton::clicked, this, &Form1::OWEE_Click);
    connect(m_Com, &QButtonGroup::idClicked, this, &Form1::Com_Click);
    connect(&m_link, &SerialLink::portChanged, this, &Form1::showPortInUse);

    m_panel.setCaption(InitialCaption);
    m_panel.setForeColor(Colour::ButtonText);
    for (auto which :
         {StatusPanel::Shape::Shape1, StatusPanel::Shape::Shape2, StatusPanel::Shape::Shape3})
        showShape(which);
    Form_Load();
}

void Form1::createControls() {
    m_RSEE = new QPushButton(QStringLiteral("Read && Save EEProm"), this);
    place(m_RSEE, {120, 120, 2775, 375});
    m_RSEE->setAccessibleName(tr("Read and save EEPROM"));
    m_OWEE = new QPushButton(QStringLiteral("Open && Write EEProm"), this);
    place(m_OWEE, {120, 600, 2775, 375});
    m_OWEE->setAccessibleName(tr("Open and write EEPROM"));

    m_Com = new QButtonGroup(this);
    auto* optionStyle = new PortOptionStyle;
    optionStyle->setParent(this);
    for (int index = 0; index < 4; ++index) {
        auto* option = new QRadioButton(QStringLiteral("Com%1").arg(index + 1), this);
        place(option, {120 + 720 * index, 1080, 735, 255});
        option->setStyle(optionStyle);
        option->setAccessibleName(QStringLiteral("Com%1").arg(index + 1));
        option->installEventFilter(this);
        m_Com->addButton(option, index);
    }
    fitPortCaptions();

    // Bottom to top: track, fill, status text, frame.
    auto addShape = [this](StatusPanel::Shape which, ShapeWidget::Style style,
                           const QString& name) {
        auto* shape = new ShapeWidget(style, this);
        place(shape, BarGeometry);
        shape->setAccessibleName(name);
        m_shapes[int(which)] = shape;
    };
    addShape(StatusPanel::Shape::Shape2, ShapeWidget::Style::Filled, tr("Progress track"));
    addShape(StatusPanel::Shape::Shape3, ShapeWidget::Style::Filled, tr("Progress fill"));
    m_Label4 = new QLabel(this);
    place(m_Label4, {720, 1560, 1455, 255});
    m_Label4->setAlignment(Qt::AlignCenter);
    m_Label4->setTextFormat(Qt::PlainText);
    // Without a name of its own the label is read out by its caption, and each new caption is
    // announced.
    m_Label4->setAccessibleDescription(tr("Status"));
    addShape(StatusPanel::Shape::Shape1, ShapeWidget::Style::Border, tr("Progress frame"));

    setTabOrder(m_RSEE, m_OWEE);
    setTabOrder(m_OWEE, Com(0));
    for (int index = 1; index < 4; ++index)
        setTabOrder(Com(index - 1), Com(index));
}

// The captions differ only in their digit: each must be seen whole before the next option begins
// (or the window ends), which may take a smaller face than the rest of the window.
void Form1::fitPortCaptions() {
    QFont font = Com(0)->font();
    while (font.pointSizeF() > MinimumPointSize && portCaptionOverflow(font) > 0) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        for (QAbstractButton* option : m_Com->buttons())
            option->setFont(font);
    }
}

int Form1::portCaptionOverflow(const QFont& font) const {
    int overflow = std::numeric_limits<int>::min();
    for (int index = 0; index < 4; ++index) {
        const QRadioButton* option = Com(index);
        const int end = index < 3 ? Com(index + 1)->x() : width();
        QStyleOptionButton look;
        look.initFrom(option);
        look.text = option->text();
        const QRect contents =
            option->style()->subElementRect(QStyle::SE_RadioButtonContents, &look, option);
        const int right =
            option->x() + contents.left() + QFontMetrics(font).horizontalAdvance(look.text);
        overflow = std::max(overflow, right - end);
    }
    return overflow;
}

void Form1::Form_Load() {
    m_panel.setVisible(StatusPanel::Shape::Shape3, false);
    m_panel.setVisible(StatusPanel::Shape::Shape2, false);
    m_panel.setVisible(StatusPanel::Shape::Shape1, false);
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void Form1::RSEE_Click() {
    m_runner.readAndSave();
}

void Form1::OWEE_Click() {
    m_runner.writeAndVerify();
}

void Form1::Com_Click(int index) {
    if (m_runner.choosePort(index + 1).end != CommandEnd::NotStarted)
        m_portChosen = true;
    showPortInUse();
}

void Form1::Form_Unload() {
    m_runner.shutDown();
}

// The options show the port actually chosen, also after a refused click.
void Form1::showPortInUse() {
    if (m_portChosen) {
        Com(m_link.CommPort() - 1)->setChecked(true);
        return;
    }
    m_Com->setExclusive(false);
    for (QAbstractButton* option : m_Com->buttons())
        option->setChecked(false);
    m_Com->setExclusive(true);
}

void Form1::showShape(StatusPanel::Shape which) {
    const StatusPanel::Rectangle& model = m_panel.shape(which);
    ShapeWidget* widget = shape(which);
    widget->setVisible(model.Visible);
    widget->resize(pixels(model.Width), widget->height());
    widget->setFillColor(colourFor(model.FillColor));
}

void Form1::showForeColor(quint32 colour) {
    QPalette palette = m_Label4->palette();
    palette.setColor(QPalette::WindowText, colourFor(colour));
    m_Label4->setPalette(palette);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const int index = m_Com->id(qobject_cast<QAbstractButton*>(watched));
        if (index >= 0)
            Com(index)->setToolTip(portToolTip(index));
    }
    return QWidget::eventFilter(watched, event);
}

QString Form1::portToolTip(int index) const {
    const QString device = m_link.deviceFor(index + 1);
    return device.isEmpty() ? tr("Com%1: no serial device present").arg(index + 1)
                            : tr("Com%1: %2").arg(index + 1).arg(device);
}

QRadioButton* Form1::Com(int index) const {
    return static_cast<QRadioButton*>(m_Com->button(index));
}

ShapeWidget* Form1::shape(StatusPanel::Shape which) const {
    return m_shapes[int(which)];
}

int Form1::pixels(double twips) {
    return qRound(twips / TwipsPerPixel);
}

QColor Form1::colourFor(quint32 colour) const {
    if (Colour::isSystem(colour)) {
        switch (Colour::systemIndex(colour)) {
        case 14:
            return palette().color(QPalette::HighlightedText);
        case 18:
            return palette().color(QPalette::ButtonText);
        default:
            return palette().color(QPalette::WindowText);
        }
    }
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

} // namespace tavrin
