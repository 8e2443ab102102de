#include "frmmain.h"

#include "controls.h"
#include "findwindow.h"
#include "frmresource.h"
#include "messagebox.h"
#include "platform/maskedbox.h"
#include "platform/picturebox.h"
#include "platform/textbox.h"
#include "platform/updown.h"
#include "platform/winsock.h"
#include "rdap/referral.h"
#include "readas.h"
#include "twips.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QProxyStyle>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {
// Window placement and size, in twips.
constexpr int FormLeft = 1344;
constexpr int FormTop = 1656;
constexpr int FormWidth = 6636;
constexpr int FormHeight = 6000;

// The classic faces, or where they are missing their metric-compatible stand-ins (Liberation
// Sans for the dialog face's scalable relative Arial, Liberation Mono for Courier New). The face
// that is installed comes first, which spares a start-up full of font fallback look-ups.
#ifdef Q_OS_WIN
const QStringList DialogFaces = {QStringLiteral("MS Sans Serif"), QStringLiteral("Arial")};
const QStringList ResultFaces = {QStringLiteral("Courier New")};
#else
const QStringList DialogFaces = {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
const QStringList ResultFaces = {QStringLiteral("Liberation Mono"),
                                 QStringLiteral("DejaVu Sans Mono")};
#endif

QFont dialogFont(double points, bool bold = false) {
    QFont font;
    font.setFamilies(DialogFaces);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont resultFont() {
    QFont font;
    font.setFamilies(ResultFaces);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(9);
    return font;
}

// The check box's caption must fit its narrow designed width: a classic-sized indicator and gap
// instead of the wider ones of today's styles.
class CompactCheckStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override {
        if (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight)
            return 13;
        if (metric == PM_CheckBoxLabelSpacing)
            return 3;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// Ends at once: no further handler runs, also from inside a sweep's wait or a message box; but
// what Copy put on the clipboard outlives the process.
[[noreturn]] void endProcessNow(QObject *window) {
    // Nothing the window's objects signal from here on reaches a handler.
    window->blockSignals(true);
    const QList<QObject *> children = window->findChildren<QObject *>();
    for (QObject *child : children)
        child->blockSignals(true);
    std::fflush(nullptr);
    // Qt hands the clipboard it owns to the desktop's clipboard manager (X11's CLIPBOARD_MANAGER)
    // while the application object is destroyed, and only then; destroying it runs none of the
    // program's handlers. Its storage, wherever it lies, is never touched again: the process
    // ends right after.
    if (QCoreApplication *app = QCoreApplication::instance())
        app->~QCoreApplication();
    std::_Exit(0);
}
} // namespace

const QStringList &frmMain::whoisServers() {
    static const QStringList servers = {
        QStringLiteral("whois.ripe.net"),  QStringLiteral("whois.verisign-grs.com"),
        QStringLiteral("whois.nic.mil"),   QStringLiteral("whois.nic.gov"),
        QStringLiteral("whois.apnic.net"), QStringLiteral("whois.arin.net"),
        QStringLiteral("whois.denic.de"),  QStringLiteral("whois.nic.at"),
    };
    return servers;
}

frmMain::frmMain(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)
    , m_endProgram([this] { endProcessNow(this); }) {
    createControls();
    placeControls();

    QueryControls controls;
    controls.txtSearchText = txtSearchText;
    controls.cmbWhoisServer = cmbWhoisServer;
    controls.chkAll = chkAll;
    controls.mtxtTimeOut = mtxtTimeOut;
    controls.txtSearchResult = txtSearchResult;
    controls.lblStatus = lblStatus;
    controls.lblTimeOut = lblTimeOut;
    controls.imgStatus = imgStatus;
    controls.Timer1 = Timer1;
    controls.Winsock1 = Winsock1;
    m_query = new QueryForm(controls, *this, this);
    m_answers = new AnswerBlocks(txtSearchResult, Winsock1, this);
    // "auto" asks several servers in turn: the status line names the one being asked.
    connect(Winsock1, &Winsock::Status, lblStatus, &QLabel::setText);

    connect(btnSearch, &QPushButton::clicked, m_query, &QueryForm::btnSearch_Click);
    connect(btnCopy, &QPushButton::clicked, this, &frmMain::btnCopy_Click);
    connect(btnInfo, &QPushButton::clicked, this, &frmMain::btnInfo_Click);
    connect(btnExit, &QPushButton::clicked, this, &frmMain::btnExit_Click);
    connect(txtSearchResult, &TextBox::ContextMenuOpening, this,
            &frmMain::txtSearchResult_ContextMenu);

    // Finding text in the result: keys of the whole window, whichever control has the focus.
    auto shortcut = [this](const QKeySequence &keys, auto handler) {
        auto *s = new QShortcut(keys, this);
        connect(s, &QShortcut::activated, this, handler);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_F), [this] { findWindow().present(); });
    shortcut(QKeySequence(Qt::Key_F3), [this] { findWindow().findAgain(false); });
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { findWindow().findAgain(true); });

    Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::createControls() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Lumbra"));
    // The icon's PNG twins, read by the built-in PNG reader only: asked to find a reader, Qt
    // loads every image plugin first, three libraries at start-up for nothing.
    QIcon icon;
    for (const QString &file :
         {QStringLiteral(":/pictures/lumbra-16.png"), QStringLiteral(":/pictures/lumbra-32.png")}) {
        QImageReader reader(file, "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    setWindowIcon(icon);
    setFont(dialogFont(8));
    setSizeGripEnabled(false);

    auto button = [this](const char *name, const char *caption, const char *tip) {
        return controls::commandButton(this, name, caption, tip);
    };
    auto label = [this](const char *name, const char *caption, Qt::Alignment align) {
        auto *l = new QLabel(QString::fromLatin1(caption), this);
        l->setObjectName(QString::fromLatin1(name));
        l->setAlignment(align | Qt::AlignTop);
        l->setWordWrap(false);
        return l;
    };

    // Created in this order; later controls lie on top of earlier ones.
    btnCopy = button("btnCopy", "&Copy", "Copy the search results to the clipboard");
    btnSearch = button("btnSearch", "&Search", "Start the search");
    btnSearch->setDefault(true);
    btnInfo = button("btnInfo", "&Info", "Shows info about the Whois client");
    btnExit = button("btnExit", "E&xit", "Exits the Whois client");

    mtxtTimeOut = new MaskEdBox(this);
    mtxtTimeOut->setObjectName(QStringLiteral("mtxtTimeOut"));
    mtxtTimeOut->setToolTip(QStringLiteral("Time to wait for an answer from the Whois server"));
    mtxtTimeOut->setAccessibleName(QStringLiteral("Timeout"));

    UpDown1 = new UpDown(this);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setAccessibleName(QStringLiteral("Timeout up-down"));
    UpDown1->setBuddy(mtxtTimeOut);
    UpDown1->setRange(10, 60);
    UpDown1->setValue(10);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    chkAll = new QCheckBox(QStringLiteral("Search &all servers"), this);
    chkAll->setObjectName(QStringLiteral("chkAll"));
    chkAll->setToolTip(QStringLiteral("If checked, search all Whois servers"));
    chkAll->setAccessibleName(controls::withoutMarkers(chkAll->text()));
    auto *compact = new CompactCheckStyle;
    compact->setParent(chkAll);
    chkAll->setStyle(compact);

    cmbWhoisServer = new QComboBox(this);
    cmbWhoisServer->setObjectName(QStringLiteral("cmbWhoisServer"));
    cmbWhoisServer->setEditable(true);
    cmbWhoisServer->setInsertPolicy(QComboBox::NoInsert); // typed names never join the list
    cmbWhoisServer->setDuplicatesEnabled(true);
    cmbWhoisServer->setToolTip(QStringLiteral("The name or IP-Address of the Whois server"));
    cmbWhoisServer->setAccessibleName(QStringLiteral("Whois Server"));
    cmbWhoisServer->lineEdit()->setObjectName(QStringLiteral("cmbWhoisServerEdit"));
    cmbWhoisServer->lineEdit()->setMaxLength(std::numeric_limits<int>::max()); // no length limit

    Winsock1 = new Winsock(this);
    Winsock1->setObjectName(QStringLiteral("Winsock1"));

    txtSearchResult = new TextBox(this);
    txtSearchResult->setObjectName(QStringLiteral("txtSearchResult"));
    txtSearchResult->setToolTip(QStringLiteral("The search results"));
    txtSearchResult->setAccessibleName(QStringLiteral("Search result"));
    txtSearchResult->setTabChangesFocus(true);
    txtSearchResult->setFont(resultFont());

    txtSearchText = new QLineEdit(this);
    txtSearchText->setObjectName(QStringLiteral("txtSearchText"));
    txtSearchText->setToolTip(QStringLiteral("Text to search for"));
    txtSearchText->setAccessibleName(QStringLiteral("Search text"));
    txtSearchText->setMaxLength(std::numeric_limits<int>::max()); // no length limit

    imgStatus = new PictureBox(this);
    imgStatus->setObjectName(QStringLiteral("imgStatus"));
    imgStatus->setAccessibleName(QStringLiteral("Status picture"));

    Label7 = label("Label7", "Time&out:", Qt::AlignRight);
    lblTimeOut = label("lblTimeOut", "", Qt::AlignRight);
    lblStatus = label("lblStatus", "", Qt::AlignLeft);
    lblStatus->setToolTip(QStringLiteral("Current status of the search"));
    Label4 = label("Label4", "Status:", Qt::AlignRight);
    Label3 = label("Label3", "Search &result:", Qt::AlignLeft);
    Label2 = label("Label2", "&Whois Server:", Qt::AlignRight);
    Label1 = label("Label1", "Search&text:", Qt::AlignRight);

    // Server names and counts are shown as they are, never as markup or access keys; screen
    // readers read, and hear each change of, the status line and the count themselves.
    Label4->setTextFormat(Qt::PlainText);
    controls::makeStatusLabel(lblStatus, QStringLiteral("Status"));
    controls::makeStatusLabel(lblTimeOut, QStringLiteral("Elapsed seconds"));
    const QFont statusFont = dialogFont(7.8, true);
    lblStatus->setFont(statusFont);
    lblTimeOut->setFont(statusFont);

    // A caption's access key gives the focus to the field after it in tab order.
    Label1->setBuddy(txtSearchText);
    Label2->setBuddy(cmbWhoisServer);
    Label7->setBuddy(mtxtTimeOut);
    Label3->setBuddy(txtSearchResult);

    setTabOrder(txtSearchText, cmbWhoisServer);
    setTabOrder(cmbWhoisServer, mtxtTimeOut);
    setTabOrder(mtxtTimeOut, chkAll);
    setTabOrder(chkAll, txtSearchResult);
    setTabOrder(txtSearchResult, btnSearch);
    setTabOrder(btnSearch, btnCopy);
    setTabOrder(btnCopy, btnInfo);
    setTabOrder(btnInfo, btnExit);
    setTabOrder(btnExit, UpDown1);
    txtSearchText->setFocus();
}

void frmMain::placeControls() {
    auto place = [this](QWidget *w, int left, int top, int width, int height) {
        w->setGeometry(twipsToPixels(this, left), twipsToPixels(this, top),
                       twipsToPixels(this, width), twipsToPixels(this, height));
    };
    place(btnCopy, 1872, 5520, 1452, 372);
    place(btnSearch, 432, 5520, 1452, 372);
    place(btnInfo, 3312, 5520, 1452, 372);
    place(btnExit, 4752, 5520, 1452, 372);
    place(UpDown1, 1800, 624, 228, 252);
    place(mtxtTimeOut, 1440, 624, 372, 252);
    place(chkAll, 4920, 1320, 1572, 192);
    place(cmbWhoisServer, 1440, 360, 4932, 288);
    place(txtSearchResult, 120, 1560, 6372, 3852);
    place(txtSearchText, 1440, 120, 4932, 288);
    place(imgStatus, 6000, 840, 492, 492);
    place(Label7, 600, 620, 732, 252);
    place(lblTimeOut, 5640, 960, 252, 252);
    place(lblStatus, 1440, 960, 4092, 288);
    place(Label4, 720, 960, 612, 252);
    place(Label3, 120, 1320, 1092, 252);
    place(Label2, 240, 360, 1092, 252);
    place(Label1, 480, 120, 852, 252);
    UpDown1->raise(); // the spinner lies over the field's last pixel

    setGeometry(twipsToPixels(this, FormLeft), twipsToPixels(this, FormTop),
                twipsToPixels(this, FormWidth), twipsToPixels(this, FormHeight));
}

void frmMain::Form_Load() {
    cmbWhoisServer->addItems(whoisServers());
    cmbWhoisServer->setCurrentIndex(0);
    imgStatus->SetPicture(QPixmap());
    imgStatus->setVisible(true);
    mtxtTimeOut->SetText(QStringLiteral("10"));
}

void frmMain::btnCopy_Click() {
    QGuiApplication::clipboard()->setText(txtSearchResult->Text());
}

void frmMain::btnInfo_Click() {
    messageBox(QStringLiteral("LUMBRA " LUMBRA_VERSION "\r\n"
                              "A simple Whois client.\r\n"
                              "Written by the Lumbra developers, with Qt."),
               QStringLiteral("Lumbra"));
}

void frmMain::btnExit_Click() {
    closeConnection();
    m_endProgram();
}

void frmMain::txtSearchResult_ContextMenu(QMenu *menu, const QString &line, bool onSelection) {
    QAction *first = menu->actions().value(0);
    // The sweep asks the list's servers and ignores the server field; a hop during one would
    // close the connection of the server being swept, whatever the check box says now.
    const bool hopAllowed = chkAll->checkState() == Qt::Unchecked && !m_query->sweeping();
    // A search of the query text at another server, its answer below the ones shown.
    auto addSearch = [&](const QString &caption, const char *name, const QString &tip,
                         const QString &target) {
        auto *search = new QAction(caption, menu);
        search->setObjectName(QString::fromLatin1(name));
        search->setToolTip(tip);
        search->setEnabled(hopAllowed);
        connect(search, &QAction::triggered, m_query,
                [this, target] { m_query->SearchOn(target); });
        menu->insertAction(first, search);
    };
    const QString server =
        referral::serverToSearch(txtSearchResult->textCursor().selectedText(), onSelection, line);
    if (!server.isEmpty()) {
        QString caption = server;
        caption.replace(QLatin1Char('&'), QStringLiteral("&&")); // never an access key
        addSearch(QStringLiteral("&Search on ") + caption, "mnuSearchServer",
                  QStringLiteral("Search the query text on this server, below the results shown"),
                  server);
    }
    // The same query through IANA's RDAP bootstrap, and through "auto": registry and
    // registrar, wherever they answer.
    addSearch(QStringLiteral("Search with &RDAP"), "mnuSearchRdap",
              QStringLiteral("Search the query text with RDAP, below the results shown"),
              QStringLiteral("rdap"));
    addSearch(QStringLiteral("Search with a&uto"), "mnuSearchAuto",
              QStringLiteral("Search the query text at the registry and the registrar, over RDAP "
                             "or WHOIS, below the results shown"),
              QStringLiteral("auto"));
    auto *find = new QAction(QStringLiteral("&Find..."), menu);
    find->setObjectName(QStringLiteral("mnuFind"));
    find->setToolTip(QStringLiteral("Find text in the search results"));
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(find, &QAction::triggered, this, [this] { findWindow().present(); });
    menu->insertAction(first, find);
    m_answers->addMenu(menu, first, txtSearchResult->MenuTextIndex());
    menu->insertSeparator(first);
}

FindWindow &frmMain::findWindow() {
    if (!m_find)
        m_find = new FindWindow(
            txtSearchResult, {txtSearchText, cmbWhoisServer, mtxtTimeOut, UpDown1, chkAll}, this);
    return *m_find;
}

void frmMain::closeConnection() {
    if (Winsock1->State() != Winsock::sckClosed)
        Winsock1->Close();
}

void frmMain::closeEvent(QCloseEvent *event) {
    closeConnection();
    event->accept();
    m_endProgram();
}

void frmMain::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept(); // no cancel button: Esc does nothing
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmMain::reject() {
    // Reached by Esc in a dialog; the window stays open.
}

QPixmap frmMain::animationFrame(int index) {
    if (!m_resource)
        m_resource = new frmResource(this);
    return m_resource->Image1(index);
}

void frmMain::messageBox(const QString &prompt, const QString &title) {
    MessageBox::show(this, prompt, title);
}
