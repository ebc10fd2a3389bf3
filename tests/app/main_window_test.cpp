// The main window: its controls and texts, start-up from the configuration
// file, placement and sizing, and the Print, Clear and language commands.

#include "app/config.h"
#include "app/message_boxes.h"
#include "history/history_table_model.h"
#include "history/history_window.h"
#include "shell_test_support.h"

#include "quillar_version.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPrinter>
#include <QScopeGuard>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

namespace quillar::test {

namespace {

const QStringList kLanguages = {"English", "Chinese",  "Japanese", "Korean",  "Danish", "Norwegian",
                                "Polish",  "Romanian", "German",   "Spanish", "French", "Italian"};

// Indexes of the language items the menu offers.
QList<int> VisibleLanguages(const TForm1& form) {
    QList<int> visible;
    const QList<QAction*> items = form.PopupMenu2->actions();
    for (int i = 0; i < items.size(); ++i)
        if (items[i]->isVisible())
            visible << i;
    return visible;
}

QAction* LanguageItem(const TForm1& form, const QString& caption) {
    for (QAction* item : form.PopupMenu2->actions())
        if (item->text() == caption)
            return item;
    return nullptr;
}

QStringList CheckedTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* item : menu->actions())
        if (item->isChecked())
            texts << item->text();
    return texts;
}

// The tip the port button shows when the mouse rests on it.
QString PortToolTip(TForm1& form) {
    QWidget* button = form.ToolButton6;
    const QPoint centre = button->rect().center();
    QHelpEvent event(QEvent::ToolTip, centre, button->mapToGlobal(centre));
    QApplication::sendEvent(button, &event);
    const QString text = QToolTip::text();
    QToolTip::hideText();
    return text;
}

// The context menu that a right click on the page opens, or null.
QMenu* OpenPageContextMenu(TForm1& form) {
    QWidget* input = form.ReportView()->View()->focusProxy();
    QTest::mouseClick(input, Qt::RightButton, {}, QPoint(30, 30));
    const auto popup = [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); };
    return QTest::qWaitFor([&] { return popup() != nullptr; }, kWaitMs) ? popup() : nullptr;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void controls_haveTheirNamesAndCaptions();
    void startWithoutConfigFile_defaultsAndEmptyPage_fileNotCreated();
    void builtInTables_areLoaded();
    void languageOptions_offerEnglishAndTheListedItems_data();
    void languageOptions_offerEnglishAndTheListedItems();
    void hiddenLanguage_isHonouredAndOffered();
    void languageOutsideMenu_becomesEnglish_andIsWrittenBack_data();
    void languageOutsideMenu_becomesEnglish_andIsWrittenBack();
    void choosingKorean_writesThree_andTheNextStartShowsIt();
    void choosingLanguage_unwritableFile_oneError_choiceStands();
    void startupLanguageWriteFails_noTickUntilTheViewExists();
    void centredPosition_halvesTheDifference();
    void window_opensCentredOnTheScreen();
    void firstSize_isTheSizeAtScaleOne_withinTheAvailableArea();
    void resizing_keepsTheViewFillingThePanel();
    void narrowWindow_portButtonShortensItsPortName_languageButtonStays();
    void menus_checkTheCurrentLanguage_andTheConnectedPort();
    void pageContextMenu_copySelectAllAndPrint_only();
    void print_withNothingOrBlanksReceived_asksForData();
    void print_withALineBreakReceived_opensThePrintDialog();
    void clear_showsTheEmptyPage_andKeepsTheConnection();
    void freshAccount_modelMenu_givesTheReport_hintOnce();
    void historyButton_opensOneWindow_onTheArchivesIndex();
};

void MainWindowTest::controls_haveTheirNamesAndCaptions() {
    ShellBench bench;
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;

    // The version that CMake's project() gives, as the caption has always shown it.
    QCOMPARE(form.windowTitle(), QStringLiteral("Quillar v" QUILLAR_VERSION));
    const std::pair<QObject*, const char*> named[] = {{form.ToolBar1, "ToolBar1"},
                                                      {form.ToolButton2, "ToolButton2"},
                                                      {form.ToolButton4, "ToolButton4"},
                                                      {form.ToolButton6, "ToolButton6"},
                                                      {form.ToolButton8, "ToolButton8"},
                                                      {form.StatusBar1, "StatusBar1"},
                                                      {form.StatusPanel1, "StatusPanel1"},
                                                      {form.Panel1, "Panel1"},
                                                      {form.PopupMenu1, "PopupMenu1"},
                                                      {form.PopupMenu2, "PopupMenu2"},
                                                      {form.Timer1, "Timer1"}};
    for (const auto& [object, name] : named) {
        QVERIFY2(object != nullptr, name);
        QCOMPARE(object->objectName(), QString::fromLatin1(name));
        QCOMPARE(form.findChild<QObject*>(QString::fromLatin1(name)), object);
    }

    QCOMPARE(form.ToolButton2->text(), QStringLiteral("Print"));
    QCOMPARE(form.ToolButton4->text(), QStringLiteral("Clear"));
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("Select COM Port ?"));
    QCOMPARE(form.ToolButton6->toolTip(), QStringLiteral("Serial COM Port"));
    QCOMPARE(form.ToolButton6->menu(), form.PopupMenu1);
    QCOMPARE(form.ToolButton8->menu(), form.PopupMenu2);
    QCOMPARE(form.StatusPanel1->text(),
             QStringLiteral("Please select Serial COM port connected to device"));
    QVERIFY(form.PopupMenu1->actions().isEmpty());
    QCOMPARE(form.Timer1->interval(), 250);

    // The four buttons sit on the tool bar left to right.
    QList<QToolButton*> order = {form.ToolButton2, form.ToolButton4, form.ToolButton6,
                                 form.ToolButton8};
    for (int i = 0; i < order.size(); ++i) {
        QCOMPARE(order[i]->parentWidget(), form.ToolBar1);
        if (i > 0)
            QVERIFY(order[i - 1]->geometry().right() < order[i]->geometry().left());
    }

    // The language menu: twelve items in index order, captions exact (no
    // accelerator marks), named after their language.
    QCOMPARE(MenuTexts(form.PopupMenu2), kLanguages);
    const QList<QAction*> items = form.PopupMenu2->actions();
    for (int i = 0; i < items.size(); ++i)
        QCOMPARE(items[i]->objectName(), kLanguages[i] + QStringLiteral("1"));
}

void MainWindowTest::startWithoutConfigFile_defaultsAndEmptyPage_fileNotCreated() {
    ShellBench bench;
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;

    QCOMPARE(form.CurrentLanguage(), 0);
    QCOMPARE(form.ToolButton8->text(), QStringLiteral("English"));
    QCOMPARE(Q(form.DeviceModel()), QString());
    QCOMPARE(VisibleLanguages(form), QList<int>{0});
    QCOMPARE(Q(form.ReceivedText()), QString());
    QCOMPARE(Q(form.KnownPortList()), QString());
    QVERIFY(form.SerialPort() == nullptr);
    QVERIFY(!form.AutoConnecting());
    QVERIFY(bench.messages.empty());

    // The empty page: the page frame's style but no body.
    QCOMPARE(BodyHtml(form).trimmed(), QString());
    const QVariant font = RunScript(form.ReportView()->View()->page(),
                                    QStringLiteral("getComputedStyle(document.body).fontFamily"));
    QVERIFY2(font.toString().contains(QStringLiteral("Courier New")), qPrintable(font.toString()));

    QVERIFY(!QFile::exists(Q(bench.iniPath)));
}

void MainWindowTest::builtInTables_areLoaded() {
    ShellBench bench;
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    QCOMPARE(form.Tables().colonTable.size(), std::size_t{15});
    QCOMPARE(Q(form.Tables().colonTable.front()), QStringLiteral("Cranking Time"));
    QCOMPARE(Q(form.Tables().colonTable.back()), QStringLiteral("//end;"));
    QCOMPARE(form.Tables().languageTable.size(), std::size_t{100});
    QVERIFY(form.Tables().languageTable.back().find("//end;") != std::string::npos);
    QCOMPARE(form.Tables().templateLines.size(), std::size_t{136});
    for (const std::string& line : form.Tables().templateLines)
        QVERIFY2(line.find_first_of("\r\n") == std::string::npos, line.c_str());
}

void MainWindowTest::languageOptions_offerEnglishAndTheListedItems_data() {
    QTest::addColumn<QString>("options");
    QTest::addColumn<QList<int>>("visible");
    QTest::newRow("blanks, empty item and a word") << "3, 1,,x" << QList<int>{0, 1, 3};
    QTest::newRow("English alone") << "0" << QList<int>{0};
    QTest::newRow("outside the menu, hexadecimal") << "12 -1 0xB" << QList<int>{0, 11};
}

void MainWindowTest::languageOptions_offerEnglishAndTheListedItems() {
    QFETCH(QString, options);
    QFETCH(QList<int>, visible);
    ShellBench bench;
    bench.WriteIni("[Config]\r\nLanguageOption=" + options.toStdString() + "\r\n");
    QVERIFY(bench.Open());
    QCOMPARE(VisibleLanguages(*bench.form), visible);
    QCOMPARE(bench.form->ToolButton8->text(), QStringLiteral("English"));
    QVERIFY(bench.messages.empty());
}

void MainWindowTest::hiddenLanguage_isHonouredAndOffered() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nLanguage=6\r\nLanguageOption=\r\nModel=KD318\r\n");
    QVERIFY(bench.Open());
    QCOMPARE(bench.form->ToolButton8->text(), QStringLiteral("Polish"));
    QCOMPARE(bench.form->CurrentLanguage(), 6);
    // Offered and ticked, or once another is chosen there is no way back.
    QCOMPARE(VisibleLanguages(*bench.form), (QList<int>{0, 6}));
    QVERIFY(bench.form->PopupMenu2->actions()[6]->isChecked());
    bench.form->PopupMenu2->actions()[0]->trigger();
    bench.form->PopupMenu2->actions()[6]->trigger();
    QCOMPARE(bench.form->ToolButton8->text(), QStringLiteral("Polish"));
    QCOMPARE(Q(bench.form->DeviceModel()), QStringLiteral("KD318"));
    QCOMPARE(ReadShellConfig(bench.iniPath).language, 6);
}

void MainWindowTest::languageOutsideMenu_becomesEnglish_andIsWrittenBack_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("12") << "12";
    QTest::newRow("-1") << "-1";
}

void MainWindowTest::languageOutsideMenu_becomesEnglish_andIsWrittenBack() {
    QFETCH(QString, language);
    ShellBench bench;
    bench.WriteIni("; workshop set-up\r\n[Config]\r\nLanguage=" + language.toStdString() +
                   "\r\nLanguageOption=1,2\r\nModel=QM\r\n");
    QVERIFY(bench.Open());
    QCOMPARE(bench.form->ToolButton8->text(), QStringLiteral("English"));
    QCOMPARE(bench.form->CurrentLanguage(), 0);
    QVERIFY(bench.messages.empty());

    const ShellConfig written = ReadShellConfig(bench.iniPath);
    QCOMPARE(written.language, 0);
    // The rest of the file stays.
    QCOMPARE(Q(written.model), QStringLiteral("QM"));
    QCOMPARE(written.languageOptions.size(), std::size_t{2});
}

void MainWindowTest::startupLanguageWriteFails_noTickUntilTheViewExists() {
    // A read-only configuration with a language outside the menu, a tester
    // already plugged in and sending: the start-up correction fails, and its
    // error box runs a modal loop while the window is still being created.
    ShellBench bench;
    bench.WriteIni("[Config]\r\nLanguage=12\r\nModel=QM\r\n");
    QFile::setPermissions(Q(bench.iniPath), QFile::ReadOwner | QFile::ReadGroup);
    bench.ports = "COM1";
    bench.links.incoming.push_back({"Battery Test\r\n"});
    std::size_t opensInsideTheBox = 0;
    SetMessageHook([&](const MessageRecord& message) {
        bench.messages.push_back(message);
        // Open as long as a person would keep a modal box: several timer periods.
        QEventLoop modal;
        QTimer::singleShot(800, &modal, &QEventLoop::quit);
        modal.exec();
        opensInsideTheBox = bench.links.opens.size();
    });

    QVERIFY(bench.Open());
    QCOMPARE(bench.messages.size(), std::size_t{1});
    QCOMPARE(bench.messages[0].kind, MessageKind::Error);
    QCOMPARE(bench.messages[0].text, QStringLiteral("Unable to write to ") + Q(bench.iniPath));
    QCOMPARE(opensInsideTheBox, std::size_t{0}); // no tick ran inside the box
    QVERIFY(bench.form->ReportView() != nullptr);
    QCOMPARE(bench.form->ToolButton8->text(), QStringLiteral("English"));
    QCOMPARE(ReadShellConfig(bench.iniPath).language, 12); // the file is left alone

    // Once the window stands, the poll connects and shows what arrives.
    bench.form->PollTick();
    QCOMPARE(bench.links.opens, std::vector<std::string>{"COM1"});
    QVERIFY(WaitForPage(*bench.form, [&] { bench.form->PollTick(); }));
    QCOMPARE(Q(bench.form->ReceivedText()), QStringLiteral("Battery Test<br>"));
}

void MainWindowTest::choosingKorean_writesThree_andTheNextStartShowsIt() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nLanguageOption=3\r\n");
    QVERIFY(bench.Open());
    QAction* korean = LanguageItem(*bench.form, QStringLiteral("Korean"));
    QVERIFY(korean != nullptr);
    korean->trigger();
    QCOMPARE(bench.form->ToolButton8->text(), QStringLiteral("Korean"));
    QCOMPARE(bench.form->CurrentLanguage(), 3);
    QCOMPARE(ReadShellConfig(bench.iniPath).language, 3);
    QVERIFY(bench.messages.empty());

    bench.form.reset();
    std::unique_ptr<TForm1> next = bench.MakeForm();
    QVERIFY(next != nullptr);
    QCOMPARE(next->ToolButton8->text(), QStringLiteral("Korean"));
    QCOMPARE(next->CurrentLanguage(), 3);
}

void MainWindowTest::choosingLanguage_unwritableFile_oneError_choiceStands() {
    ShellBench bench;
    // A file where the folder would be: no file can be written there, also as root.
    QFile blocker(bench.dir.filePath(QStringLiteral("not-a-folder")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    bench.iniPath = bench.dir.filePath(QStringLiteral("not-a-folder/quillar.ini")).toStdString();
    QVERIFY(bench.Open());
    QVERIFY(bench.messages.empty());

    QAction* german = LanguageItem(*bench.form, QStringLiteral("German"));
    QVERIFY(german != nullptr);
    // As a menu click arrives: through the event loop, where the application
    // object reports what a handler let escape.
    QMetaObject::invokeMethod(german, &QAction::trigger, Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(bench.messages.size(), std::size_t{1}, kWaitMs);
    QTest::qWait(50); // no second box follows
    QCOMPARE(bench.messages.size(), std::size_t{1});
    QCOMPARE(bench.messages[0].kind, MessageKind::Error);
    QCOMPARE(bench.messages[0].caption, QStringLiteral("Quillar"));
    QCOMPARE(bench.messages[0].text, QStringLiteral("Unable to write to ") + Q(bench.iniPath));
    QCOMPARE(bench.form->ToolButton8->text(), QStringLiteral("German"));
    QCOMPARE(bench.form->CurrentLanguage(), 8);
    QVERIFY(bench.form->isVisible());
}

void MainWindowTest::centredPosition_halvesTheDifference() {
    QCOMPARE(TForm1::CentredPosition(QSize(1024, 768), QSize(640, 480)), QPoint(192, 144));
    // Halves round toward zero, also below zero.
    QCOMPARE(TForm1::CentredPosition(QSize(1025, 769), QSize(640, 480)), QPoint(192, 144));
    QCOMPARE(TForm1::CentredPosition(QSize(800, 600), QSize(1025, 703)), QPoint(-112, -51));
    QCOMPARE(TForm1::CentredPosition(QSize(800, 600), QSize(800, 600)), QPoint(0, 0));
}

void MainWindowTest::window_opensCentredOnTheScreen() {
    ShellBench bench;
    QVERIFY(bench.Open());
    const QScreen* screen = QGuiApplication::primaryScreen();
    QVERIFY(screen != nullptr);
    const QRect frame = bench.form->frameGeometry();
    const QRect area = screen->geometry();
    // Not the layout's size, and centred to the pixel (halves rounded down).
    QVERIFY(frame.size() != QSize(640, 480));
    QVERIFY(frame.width() <= area.width() && frame.height() <= area.height());
    // Centred with the frame's outer size, not the client area's.
    QVERIFY(std::abs((frame.left() - area.left()) - (area.right() - frame.right())) <= 1);
    QVERIFY(std::abs((frame.top() - area.top()) - (area.bottom() - frame.bottom())) <= 1);
}

void MainWindowTest::firstSize_isTheSizeAtScaleOne_withinTheAvailableArea() {
    // Two thirds of the screen, as the toolkit sizes a new main window.
    QCOMPARE(TForm1::FirstSize(QSize(1280, 900), 1.0, QSize(0, 0)), QSize(853, 600));
    QCOMPARE(TForm1::FirstSize(QSize(1920, 1040), 1.0, QSize(10, 40)), QSize(1280, 693));
    // Scale 2 halves the screen in logical pixels; the window stays as large
    // as the screen allows, its frame included.
    QCOMPARE(TForm1::FirstSize(QSize(1280, 720), 2.0, QSize(10, 40)), QSize(1270, 680));
    QCOMPARE(TForm1::FirstSize(QSize(640, 450), 2.0, QSize(0, 0)), QSize(640, 450));
    QCOMPARE(TForm1::FirstSize(QSize(2400, 1500), 1.25, QSize(0, 0)), QSize(2000, 1250));
}

void MainWindowTest::resizing_keepsTheViewFillingThePanel() {
    ShellBench bench;
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    QWidget* view = form.ReportView()->View();
    QCOMPARE(view->parentWidget(), static_cast<QWidget*>(form.Panel1));
    const auto fillsPanel = [&] {
        return view->geometry() == QRect(QPoint(0, 0), form.Panel1->contentsRect().size());
    };
    QVERIFY(fillsPanel());
    // Narrow, yet as wide as the tool bar's row needs.
    const QSize narrow(std::max(420, form.minimumWidth()), 300);
    for (const QSize size : {QSize(700, 520), narrow, QSize(760, 560)}) {
        form.resize(size);
        QTRY_VERIFY_WITH_TIMEOUT(form.size() == size, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(fillsPanel(), kWaitMs);
    }
    // The panel fills the space between tool bar and status bar.
    QCOMPARE(form.Panel1->mapTo(&form, QPoint(0, 0)).y(), form.ToolBar1->geometry().bottom() + 1);
    QCOMPARE(form.Panel1->mapTo(&form, QPoint(0, form.Panel1->height())).y(),
             form.StatusBar1->geometry().top());
}

void MainWindowTest::narrowWindow_portButtonShortensItsPortName_languageButtonStays() {
    ShellBench bench;
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    const QList<QToolButton*> others = {form.ToolButton2, form.ToolButton4, form.ToolButton8};
    QList<int> widths;
    for (const QToolButton* button : others)
        widths << button->width();
    auto* extension = form.ToolBar1->findChild<QToolButton*>("qt_toolbar_ext_button");
    QVERIFY(extension != nullptr);
    const int firstWidth = form.width();

    form.resize(300, form.height());
    QTRY_COMPARE_WITH_TIMEOUT(form.width(), form.minimumWidth(), kWaitMs);
    // (On a small screen the first window is already as narrow as its row.)
    QVERIFY(form.width() <= firstWidth);
    QCOMPARE(form.ToolButton6->ShownText(), QStringLiteral("Select COM Port ?"));

    const QString port = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART-if00-port0");
    QStringList shownWhileOpening;
    bench.links.onOpen = [&](const std::string&) {
        shownWhileOpening << form.ToolButton6->ShownText();
    };
    bench.ports = port.toStdString();
    form.PollTick();
    const QString caption = port + QStringLiteral(" Connected OK");
    QCOMPARE(form.ToolButton6->text(), caption); // the text itself stays whole
    QCOMPARE(shownWhileOpening.size(), 1);
    QVERIFY2(shownWhileOpening[0].endsWith(QStringLiteral("0 Connecting ...")) &&
                 shownWhileOpening[0].contains(QChar(0x2026)),
             qPrintable(shownWhileOpening[0]));

    // Laid out anew: every button in the row, the others at their width, the
    // port name shortened in its middle and the state whole.
    QCoreApplication::processEvents();
    QVERIFY(!extension->isVisible());
    for (int i = 0; i < others.size(); ++i) {
        QVERIFY(others[i]->isVisible());
        QVERIFY(form.ToolBar1->rect().contains(others[i]->geometry()));
        QCOMPARE(others[i]->width(), widths[i]);
    }
    QVERIFY(form.ToolBar1->rect().contains(form.ToolButton6->geometry()));
    QVERIFY(form.ToolButton6->geometry().right() < form.ToolButton8->geometry().left());
    const QString shown = form.ToolButton6->ShownText();
    // The name's start and end, which tell ports apart, and the whole state.
    QVERIFY2(shown.startsWith(QLatin1Char('/')) && shown.endsWith("0 Connected OK") &&
                 shown.contains(QChar(0x2026)),
             qPrintable(shown));
    QCOMPARE(PortToolTip(form), caption);

    // Wide again: the whole caption, and the button's own tip.
    form.resize(1100, form.height());
    QTRY_COMPARE_WITH_TIMEOUT(form.ToolButton6->ShownText(), caption, kWaitMs);
    QCOMPARE(PortToolTip(form), QStringLiteral("Serial COM Port"));
    QVERIFY(!extension->isVisible());
}

void MainWindowTest::menus_checkTheCurrentLanguage_andTheConnectedPort() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\nLanguage=6\r\nLanguageOption=3\r\n");
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    QCOMPARE(CheckedTexts(form.PopupMenu2), QStringList{"Polish"}); // hidden, yet current
    QAction* korean = LanguageItem(form, QStringLiteral("Korean"));
    QVERIFY(korean != nullptr);
    korean->trigger();
    QCOMPARE(CheckedTexts(form.PopupMenu2), QStringList{"Korean"});
    korean->trigger(); // choosing it again keeps it
    QCOMPARE(CheckedTexts(form.PopupMenu2), QStringList{"Korean"});
    QCOMPARE(MenuTexts(form.PopupMenu2), kLanguages);

    bench.ports = "COM1,COM3";
    form.PollTick();
    QCOMPARE(CheckedTexts(form.PopupMenu1), QStringList{"COM3"});
    // The user's attempt on COM1 fails: COM3 was let go, nothing is connected.
    bench.links.failingOpens["COM1"] = kNeverOpens;
    QStringList checkedWhileOpening;
    bench.links.onOpen = [&](const std::string&) {
        checkedWhileOpening << CheckedTexts(form.PopupMenu1);
    };
    form.PopupMenu1->actions().last()->trigger();
    QCOMPARE(checkedWhileOpening, QStringList());
    QCOMPARE(CheckedTexts(form.PopupMenu1), QStringList());
    QCOMPARE(bench.messages.size(), std::size_t{1});
    form.PopupMenu1->actions().first()->trigger();
    QCOMPARE(CheckedTexts(form.PopupMenu1), QStringList{"COM3"});
    QCOMPARE(MenuTexts(form.PopupMenu1), (QStringList{"COM3", "COM1"}));

    bench.links.incoming.push_back({"", 5, true}); // unplugged
    form.PollTick();
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("Select COM Port ?"));
    QCOMPARE(CheckedTexts(form.PopupMenu1), QStringList());
}

void MainWindowTest::pageContextMenu_copySelectAllAndPrint_only() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\n");
    int dialogs = 0;
    TReportBrowser::SetPrintDialogHook([&](QPrinter&) { return ++dialogs, false; });
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    QWebEnginePage* page = form.ReportView()->View()->page();

    QMenu* menu = OpenPageContextMenu(form);
    QVERIFY(menu != nullptr);
    QList<QAction*> items;
    for (QAction* item : menu->actions())
        if (!item->isSeparator())
            items << item;
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0], page->action(QWebEnginePage::Copy));
    QCOMPARE(items[1], page->action(QWebEnginePage::SelectAll));
    QCOMPARE(items[2]->text(), QStringLiteral("Print..."));

    // Print goes the Print button's way: nothing received, nothing printed.
    QAction* print = items[2];
    menu->close();
    print->trigger();
    QCOMPARE(bench.messages.size(), std::size_t{1});
    QCOMPARE(bench.messages[0].text, QStringLiteral("Please check empty data."));
    QCOMPARE(dialogs, 0);

    bench.ports = "COM1";
    form.PollTick();
    QVERIFY(Deliver(bench, "VOLTS 12.6V\r\n"));
    menu = OpenPageContextMenu(form);
    QVERIFY(menu != nullptr);
    QCOMPARE(menu->actions().last(), print);
    menu->close();
    print->trigger();
    QCOMPARE(dialogs, 1);
    QCOMPARE(bench.messages.size(), std::size_t{1});
    TReportBrowser::SetPrintDialogHook({});
}

void MainWindowTest::print_withNothingOrBlanksReceived_asksForData() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\n");
    int dialogs = 0;
    TReportBrowser::SetPrintDialogHook([&](QPrinter&) { return ++dialogs, false; });
    QVERIFY(bench.Open());
    const MessageRecord expected{MessageKind::Confirm, QStringLiteral("Confirm"),
                                 QStringLiteral("Please check empty data.")};

    bench.form->ToolButton2->click();
    QCOMPARE(bench.messages.size(), std::size_t{1});
    QCOMPARE(bench.messages[0].kind, expected.kind);
    QCOMPARE(bench.messages[0].caption, expected.caption);
    QCOMPARE(bench.messages[0].text, expected.text);

    // Only blanks and control characters received: still nothing to print.
    bench.ports = "COM1";
    bench.form->PollTick();
    QVERIFY(Deliver(bench, " \t \r"));
    QVERIFY(!bench.form->ReceivedText().empty());
    bench.form->ToolButton2->click();
    QCOMPARE(bench.messages.size(), std::size_t{2});
    QCOMPARE(bench.messages[1].text, expected.text);
    QCOMPARE(dialogs, 0);
    TReportBrowser::SetPrintDialogHook({});
}

void MainWindowTest::print_withALineBreakReceived_opensThePrintDialog() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\n");
    int dialogs = 0;
    TReportBrowser::SetPrintDialogHook([&](QPrinter&) { return ++dialogs, false; });
    QVERIFY(bench.Open());
    bench.ports = "COM1";
    bench.form->PollTick();
    QVERIFY(Deliver(bench, "\n"));
    QCOMPARE(Q(bench.form->ReceivedText()), QStringLiteral("<br>"));
    bench.form->ToolButton2->click();
    QCOMPARE(dialogs, 1);
    QVERIFY(bench.messages.empty());
    TReportBrowser::SetPrintDialogHook({});
}

void MainWindowTest::clear_showsTheEmptyPage_andKeepsTheConnection() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\n");
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    bench.ports = "COM1";
    form.PollTick();
    QVERIFY(Deliver(bench, "VOLTS 12.6V\r\n"));
    QVERIFY(BodyHtml(form).contains(QStringLiteral("VOLTS 12.6V")));
    TSerialLink* link = form.SerialPort();

    QVERIFY(WaitForPage(form, [&] { form.ToolButton4->click(); }));
    QCOMPARE(Q(form.ReceivedText()), QString());
    QCOMPARE(BodyHtml(form).trimmed(), QString());
    QCOMPARE(form.SerialPort(), link);
    QVERIFY(link->PortActive());
    QCOMPARE(Q(form.KnownPortList()), QStringLiteral("COM1"));
    QCOMPARE(MenuTexts(form.PopupMenu1), QStringList{"COM1"});

    // The next bytes begin a new report.
    QVERIFY(Deliver(bench, "CCA 600\r\n"));
    QCOMPARE(Q(form.ReceivedText()), QStringLiteral("CCA 600<br>"));
    QVERIFY(bench.messages.empty());
}

// No configuration file at all, as for a new user of the installed program.
void MainWindowTest::freshAccount_modelMenu_givesTheReport_hintOnce() {
    const std::string kd520 = "Battery Test\r\nHealthy: 100% 505CCA\r\nCharge: 90% 12.54V\r\n"
                              "GOOD BATTERY\r\n";
    const std::string kd318 = "Battery Test\r\nSOH:          94%\r\nSOC:          80%\r\n";
    int asked = 0;
    SetQuestionHook([&](const MessageRecord&) { return ++asked, false; });
    const auto noHook = qScopeGuard([] { SetQuestionHook({}); });
    {
        ShellBench bench;
        QVERIFY(bench.Open());
        TForm1& form = *bench.form;
        QCOMPARE(form.ToolButton10->text(), QStringLiteral("Model"));
        QCOMPARE(MenuTexts(form.PopupMenu3), (QStringList{"KD318", "KD520", "QM"}));
        bench.ports = "/dev/ttyUSB0";
        form.PollTick();
        QVERIFY(Deliver(bench, kd520));
        QCOMPARE(Q(form.ReceivedText()), QString());
        // The labels are a KD520's: offered once, declined here.
        QTRY_COMPARE_WITH_TIMEOUT(bench.messages.size(), std::size_t(1), kWaitMs);
        QCOMPARE(bench.messages[0].kind, MessageKind::Question);
        QVERIFY2(bench.messages[0].text.contains(QStringLiteral("a KD520")),
                 qPrintable(bench.messages[0].text));
        QCOMPARE(asked, 1);
        QVERIFY(Deliver(bench, "Rated: 480 A\r\n"));
        QTest::qWait(2000);
        QCOMPARE(bench.messages.size(), std::size_t(1));

        // Chosen in the menu: written at once, and what came so far is the report.
        QVERIFY(WaitForPage(form, [&] { form.PopupMenu3->actions()[1]->trigger(); }));
        QCOMPARE(form.ToolButton10->text(), QStringLiteral("KD520"));
        QCOMPARE(ReadShellConfig(bench.iniPath).model, std::string("KD520"));
        const QString body = BodyHtml(form);
        QVERIFY2(body.contains(QStringLiteral("505CCA")) && body.contains(QStringLiteral("480 A")),
                 qPrintable(body));
        QVERIFY(form.PopupMenu3->actions()[1]->isChecked());
    }
    {
        // A printout whose labels name no single model: told what to do, no offer.
        ShellBench bench;
        QVERIFY(bench.Open());
        bench.ports = "/dev/ttyUSB0";
        bench.form->PollTick();
        QVERIFY(Deliver(bench, kd318));
        QTRY_COMPARE_WITH_TIMEOUT(bench.messages.size(), std::size_t(1), kWaitMs);
        QCOMPARE(bench.messages[0].kind, MessageKind::Confirm);
        QVERIFY(bench.messages[0].text.contains(QStringLiteral("Model menu")));
        QCOMPARE(asked, 1);
    }
}

void MainWindowTest::historyButton_opensOneWindow_onTheArchivesIndex() {
    QTemporaryDir archive;
    const auto keep = [&](const QString& key, const QString& at) {
        TestRecord test;
        test.key = key;
        test.testedAt = at;
        test.model = QStringLiteral("KD520");
        test.registration = QStringLiteral("WX12345");
        test.result = QStringLiteral("Good battery");
        test.archiveRoot = archive.path();
        HistoryDatabase::OpenLocal(archive.path())->Upsert(test);
    };
    keep(QStringLiteral("first"), QStringLiteral("2026-12-07 10:15"));
    ShellBench bench;
    // Nothing listens on port 1: the window falls back to this PC's index.
    bench.WriteIni("[Config]\r\nArchiveFolder=" + archive.path().toStdString() +
                   "\r\nDatabase=host=127.0.0.1 port=1 dbname=quillar user=quillar\r\n");
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;

    // On the tool bar, right of the language button, in the row's style.
    QCOMPARE(form.ToolButton12->objectName(), QStringLiteral("ToolButton12"));
    QCOMPARE(form.ToolButton12->text(), QStringLiteral("History"));
    QCOMPARE(form.ToolButton12->parentWidget(), form.ToolBar1);
    QCOMPARE(form.ToolButton12->toolButtonStyle(), Qt::ToolButtonTextOnly);
    QVERIFY(form.ToolButton12->isVisible());
    QVERIFY(form.ToolButton8->geometry().right() < form.ToolButton12->geometry().left());
    QVERIFY(form.ToolButton12->geometry().right() < form.ToolButton10->geometry().left());

    QVERIFY(form.History() == nullptr);
    QTest::mouseClick(form.ToolButton12, Qt::LeftButton);
    // The server is asked off the window's thread; the window comes with the answer.
    QTRY_VERIFY_WITH_TIMEOUT(form.History() != nullptr, kWaitMs);
    const QPointer<HistoryWindow> window = form.History();
    QVERIFY(window);
    QVERIFY(window->isVisible() && !window->isModal());
    QCOMPARE(window->parentWidget(), static_cast<QWidget*>(&form));
    QCOMPARE(window->Model()->rowCount(), 1);
    auto* status = window->findChild<QLabel*>(QStringLiteral("statusLine"));
    QVERIFY2(status->text().startsWith(QStringLiteral("The history server could not be reached")),
             qPrintable(status->text()));

    // Clicked again: the same window, showing what was kept since.
    keep(QStringLiteral("second"), QStringLiteral("2026-12-08 09:56"));
    form.ToolButton12->click();
    QCOMPARE(form.History(), window.data());
    QCOMPARE(window->Model()->rowCount(), 2);
    QCOMPARE(window->Model()->Record(0)->key, QStringLiteral("second"));

    // Closed, it goes; the next click opens a new one.
    window->close();
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), kWaitMs);
    QVERIFY(form.History() == nullptr);
    form.ToolButton12->click();
    form.ToolButton12->click(); // while the server is asked: still one window
    QTRY_VERIFY_WITH_TIMEOUT(form.History() != nullptr, kWaitMs);
    QCOMPARE(form.findChildren<HistoryWindow*>().size(), 1);
    QVERIFY(bench.messages.empty());
}

std::unique_ptr<QObject> MakeMainWindowTest() {
    return std::make_unique<MainWindowTest>();
}

} // namespace quillar::test

#include "main_window_test.moc"
