#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/styles.h"
#include "link/protocol.h"
#include "monitor/celldelegate.h"
#include "monitor/labelheader.h"

#include <QAbstractItemView>
#include <QPixmap>

// The logo built into the program. Its resource lives in a static library, so
// nothing would link its registration in unless it is asked for by name (and
// the macro must be used outside any namespace).
static QPixmap builtInLogo()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(logo);
        return true;
    }();
    Q_UNUSED(registered)
    return QPixmap(QStringLiteral(":/image/quellmarkPowered_meta.png"));
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    styles::installFontSubstitutes();

    // The form: widget tree, layouts, placeholder texts.
    ui->setupUi(this);

    // Periodic work; nothing is started here.
    connect(&refreshTimer, &QTimer::timeout, this, &MainWindow::updateTable);
    connect(&hideTimer, &QTimer::timeout, this, &MainWindow::hideRows);
    flashResets.setTable(ui->tv_messages, &tablePacer);

    // Connection panel.
    connect(ui->pb_open, &QPushButton::released, this, &MainWindow::serialConnect);
    connect(ui->pb_close, &QPushButton::released, this, &MainWindow::serialDisconnect);
    connect(ui->pb_refresh, &QPushButton::released, this, &MainWindow::serialRefresh);
    ui->pb_open->setText(QStringLiteral("OPEN"));
    ui->pb_close->setText(QStringLiteral("CLOSE"));
    ui->pb_refresh->setText(QStringLiteral("REFRESH"));
    ui->l_COM->setText(QStringLiteral("COM"));
    ui->l_selectCom->setText(QStringLiteral("SELECT COM"));
    ui->pb_close->setEnabled(false);
    ui->pb_open->setEnabled(false);

    // The adapter's rates in the order of its rate table, then an empty entry.
    for (const wire::CanRate &rate : wire::CAN_RATES)
        ui->cb_selectCanBaud->addItem(QString::fromLatin1(rate.name));
    ui->cb_selectCanBaud->addItem(QString());
    ui->cb_selectCanBaud->setCurrentIndex(
        ui->cb_selectCanBaud->findText(QString(), Qt::MatchExactly | Qt::MatchCaseSensitive));

    serialRefresh();

    ui->l_baudRateCOM->setText(QStringLiteral("COM Baudrate"));
    for (const quint32 rate : wire::COM_RATES)
        ui->cb_baudRateCOM->addItem(QString::number(rate));

    // CAN configuration panel.
    ui->fl_canbusConfig->setEnabled(false);
    ui->l_canbusConfig->setText(QStringLiteral("CANBUS CONFIG"));
    ui->l_canbusBaud->setText(QStringLiteral("Baudrate"));
    ui->cb_extID->setText(QStringLiteral("Extended ID"));
    ui->l_filterID->setText(QStringLiteral("Filter ID"));
    ui->l_maskID->setText(QStringLiteral("Mask ID"));
    ui->le_filterID->setText(QStringLiteral("00000000"));
    ui->le_filterID2->setText(QString());
    ui->le_maskID->setText(QStringLiteral("00000000"));
    ui->pb_sendConfiguration->setText(QStringLiteral("Configure and start"));

    connect(ui->le_filterID2, &QLineEdit::editingFinished, ui->le_filterID2,
            [this] { addRemoveItem(true); }, Qt::DirectConnection);
    connect(ui->le_filterID, &QLineEdit::editingFinished, this,
            [this] { normaliseIdentifierField(ui->le_filterID); });
    connect(ui->le_maskID, &QLineEdit::editingFinished, this,
            [this] { normaliseIdentifierField(ui->le_maskID); });
    connect(ui->pb_sendConfiguration, &QPushButton::released, this, &MainWindow::sendConfiguration);

    // Identifier filter list.
    connect(ui->tb_add, &QToolButton::released, this, [this] { addRemoveItem(true); });
    connect(ui->tb_remove, &QToolButton::released, this, [this] { addRemoveItem(false); });
    ui->pb_enableFilters->setText(QStringLiteral("ENABLE"));
    ui->pb_enableFilters->setCheckable(true);
    connect(ui->pb_enableFilters, &QPushButton::released, this, &MainWindow::enableDisableFilter);
    ui->lv_filters->setSelectionMode(QAbstractItemView::MultiSelection);

    connect(ui->cb_extID, &QCheckBox::stateChanged, this, &MainWindow::changeValidator);
    changeValidator();

    // Message table area.
    ui->tableFrame->setEnabled(false);
    // Headers that measure their labels once, not on every refresh that adds rows.
    ui->tv_messages->setHorizontalHeader(new LabelHeader(Qt::Horizontal, ui->tv_messages));
    ui->tv_messages->setVerticalHeader(new LabelHeader(Qt::Vertical, ui->tv_messages));
    ui->tv_messages->setColumnCount(10);
    ui->tv_messages->setHorizontalHeaderLabels(
        {QStringLiteral("Timestamp"), QStringLiteral("ID"), QStringLiteral("B0"), QStringLiteral("B1"),
         QStringLiteral("B2"), QStringLiteral("B3"), QStringLiteral("B4"), QStringLiteral("B5"),
         QStringLiteral("B6"), QStringLiteral("B7")});
    tableFont.setPointSize(17);
    // Draws the cells as the style does, from texts laid out once.
    ui->tv_messages->setItemDelegate(new CellDelegate(ui->tv_messages));
    tablePacer.setWidgets(ui->tv_messages, ui->tv_messages->viewport());

    connect(ui->tb_increaseFont, &QToolButton::released, this, [this] { changeTableFontSize(+1); });
    connect(ui->tb_decreaseFont, &QToolButton::released, this, [this] { changeTableFontSize(-1); });
    ui->pb_clearTable->setText(QStringLiteral("CLEAR"));
    connect(ui->pb_clearTable, &QPushButton::released, this, &MainWindow::startAfresh);

    ui->pb_dumpFile->setText(QStringLiteral("START RECORDING"));
    ui->pb_dumpFile->setCheckable(true);
    connect(ui->pb_dumpFile, &QPushButton::clicked, this, &MainWindow::dumpFileClicked);
    ui->pb_pauseTable->setText(QStringLiteral("PAUSE"));
    ui->pb_pauseTable->setCheckable(true);
    connect(ui->pb_pauseTable, &QPushButton::clicked, this, &MainWindow::pauseClicked);

    ui->rb_include->setText(QStringLiteral("SHOW LISTED"));
    ui->rb_include->setChecked(true);
    ui->rb_exclude->setText(QStringLiteral("EXCLUDE LISTED"));

    ui->pb_scroll->setCheckable(true);
    ui->pb_scroll->setText(QStringLiteral("SCROLL"));
    connect(ui->pb_scroll, &QPushButton::clicked, this, &MainWindow::scrollClicked);
    ui->pb_order->setCheckable(true);
    ui->pb_order->setText(QStringLiteral("ORDER BY ID"));
    ui->tv_messages->sortByColumn(1, Qt::AscendingOrder);
    connect(ui->pb_order, &QPushButton::released, this, &MainWindow::orderRows);

    // Appearance of the whole window.
    // The logo of the working directory comes first, as it always has; where it
    // does not load (a start from the desktop menu, in the home folder) the copy
    // built into the program is shown.
    QPixmap logo(QStringLiteral("image/quellmarkPowered_meta.png"));
    if (logo.isNull())
        logo = builtInLogo();
    ui->labelImage->setPixmap(logo);
    setFont(QFont(styles::uiFontFamily));

    connect(ui->le_highlight, &QLineEdit::editingFinished, this, &MainWindow::highlightLine);
    ui->pb_highlightChanges->setText(QStringLiteral("HIGHLIGHT CHANGES"));
    ui->pb_highlightChanges->setCheckable(true);

    const auto pushButtons = findChildren<QPushButton *>();
    for (QPushButton *button : pushButtons) {
        const QString text = button->text();
        const bool red = text == QLatin1String("PAUSE") || text == QLatin1String("ENABLE");
        button->setStyleSheet(red ? styles::redCheckButton : styles::blueCheckButton);
    }
    const auto toolButtons = findChildren<QToolButton *>();
    for (QToolButton *button : toolButtons)
        button->setStyleSheet(styles::toolButton);
    const auto lineEdits = findChildren<QLineEdit *>();
    for (QLineEdit *edit : lineEdits) {
        edit->setStyleSheet(styles::lineEdit);
        edit->setFont(QFont(styles::uiFontFamily));
    }
    ui->tv_messages->setStyleSheet(styles::messageTable);
    ui->lv_filters->setStyleSheet(styles::filterList);
    const auto comboBoxes = findChildren<QComboBox *>();
    for (QComboBox *combo : comboBoxes)
        combo->setStyleSheet(styles::comboBox);
    ui->l_COM->setStyleSheet(styles::panelHeading);
    ui->l_canbusConfig->setStyleSheet(styles::panelHeading);

    setWindowTitle(QStringLiteral("Vornix Can Analyzer - ") + QStringLiteral(VORNIX_VERSION));
    setStyleSheet(styles::window);

    ui->pb_cleanUnchanged->setText(QStringLiteral("HIDE UNCHANGED"));
    ui->pb_cleanUnchanged->setCheckable(true);
    ui->pb_showZero->setText(QStringLiteral("HIDE ZEROS"));
    ui->pb_showZero->setCheckable(true);
    ui->sp_timeHide->hide();
    ui->sp_timeHide->setMaximum(60);
    ui->sp_timeHide->setMinimum(1);
    ui->sp_timeHide->setValue(10);

    connect(ui->pb_cleanUnchanged, &QPushButton::clicked, this, &MainWindow::hideUnchangedClicked);
    connect(this, SIGNAL(dataChanged(int,int)), this, SLOT(colorCell(int,int)));
    connect(ui->pb_highlightChanges, &QPushButton::clicked, this, &MainWindow::cleanBackgroundColor);

    ui->l_filterID->hide();
    ui->l_maskID->hide();
    ui->le_filterID->hide();
    ui->le_maskID->hide();
    ui->cb_extID->hide();
    ui->fmsFrame->hide();

    connect(ui->pb_fmsParams, &QToolButton::released, this, &MainWindow::toggleFmsPanel);
    connect(&fmsTimer, &QTimer::timeout, this, &MainWindow::updateFMSValues);

    // FMS panel captions and initial values.
    ui->l_fuelLevelText->setText(QStringLiteral("Fuel Level"));
    ui->l_fuelLevelValue->setText(QStringLiteral("0.0%"));
    ui->l_engineTemperature1->setText(QStringLiteral("Engine Temperature 1"));
    ui->l_engineTermperature1Value->setText(QStringLiteral("0"));
    ui->l_fuelRate->setText(QStringLiteral("Fuel Rate"));
    ui->l_fuelRateValue->setText(QStringLiteral("0.0"));
    ui->l_instFuelEconomy->setText(QStringLiteral("Fuel Economy"));
    ui->l_instFuelEconomyValue->setText(QStringLiteral("0.0"));
    ui->l_avgFuelEconomy->setText(QStringLiteral("Average Fuel Economy"));
    ui->l_avgFuelEconomyValue->setText(QStringLiteral("0.0"));
    ui->l_throttlePosition->setText(QStringLiteral("Throttle Position"));
    ui->l_throttlePositionValue->setText(QStringLiteral("0.0%"));
    ui->l_engineSpeed->setText(QStringLiteral("Engine Speed"));
    ui->l_engineSpeedValue->setText(QStringLiteral("0.0"));
    ui->l_serviceDistance->setText(QStringLiteral("Service Distance"));
    ui->l_serviceDistanceValue->setText(QStringLiteral("0.0"));
    ui->l_totalEngineHours->setText(QStringLiteral("Total Engine Hours"));
    ui->l_totalEngineHoursValue->setText(QStringLiteral("0.0"));
    ui->l_totalVehicleDistance->setText(QStringLiteral("Total Vehicle Distance"));
    ui->l_totalVehicleDistanceValue->setText(QStringLiteral("0.0"));
    ui->l_ambientAirTemperature->setText(QStringLiteral("Ambient Air Temperature"));
    ui->l_ambientAirTemperatureValue->setText(QStringLiteral("0.0"));
    ui->l_airInletTemperature->setText(QStringLiteral("Air Inlet Temperature"));
    ui->l_airInletTemperatureValue->setText(QStringLiteral("0.0"));
    ui->l_wheelBasedVehicleSpeed->setText(QStringLiteral("Wheel Based Vehicle Speed"));
    ui->l_wheelBasedVehicleSpeedValue->setText(QStringLiteral("0.0"));
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The widgets are polished by now; the style sheets are in force.
    keepTableViewportOpaque();
}

MainWindow::~MainWindow()
{
    // The form record goes first (the widgets belong to the window); the members
    // follow in reverse order of declaration, the serial link manager last, whose
    // teardown joins the reader thread and releases the port and the dump file.
    delete ui;
    ui = nullptr;
}
