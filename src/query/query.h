// query: one WHOIS query and the Search command, as handlers of the window's controls.
//
// QueryForm holds the form state (strSearchText, strServer, intSeconds, intFrame) and the
// handlers. StartQuery announces a query and connects; Winsock1's Connected, DataArrival and
// Closed notifications send the request, append the answer and tidy up; Timer1's tick ends a
// query whose server stays silent past the timeout; btnSearch_Click checks the input and runs
// one query or sweeps the query over every server of the list, waiting on each in turn;
// SearchOn asks one more server below the answers already shown.
//
// The window (ui) owns the controls and hands them over in QueryControls; what else the
// handlers need of it (animation pictures, message boxes) it offers through QueryHost.
#pragma once

#include <QObject>
#include <QPixmap>
#include <QString>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;
class MaskEdBox;
class PictureBox;
class TextBox;
class Winsock;

struct QueryControls {
    QLineEdit *txtSearchText = nullptr;
    QComboBox *cmbWhoisServer = nullptr;
    QCheckBox *chkAll = nullptr;
    MaskEdBox *mtxtTimeOut = nullptr;
    TextBox *txtSearchResult = nullptr;
    QLabel *lblStatus = nullptr;
    QLabel *lblTimeOut = nullptr;
    PictureBox *imgStatus = nullptr;
    QTimer *Timer1 = nullptr;
    Winsock *Winsock1 = nullptr;
};

class QueryHost {
public:
    virtual ~QueryHost() = default;
    // Animation frame 0 to 3 from the picture holder.
    virtual QPixmap animationFrame(int index) = 0;
    // A modal message box with an OK button only and no icon.
    virtual void messageBox(const QString &prompt, const QString &title) = 0;
};

class QueryForm : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 WhoisPort = 43;
    static constexpr int MinimumTimeOut = 10;

    // Connects the notifications of Winsock1, Timer1 and mtxtTimeOut to the handlers.
    QueryForm(const QueryControls &controls, QueryHost &host, QObject *parent = nullptr);

    // Form state.
    QString strSearchText;
    QString strServer;
    qint16 intSeconds = 0;
    qint16 intFrame = 0;

    void StartQuery(const QString &searchText, const QString &server);
    void Winsock1_Connect();
    void Winsock1_DataArrival(qint32 bytesTotal);
    void Winsock1_Close();
    void Timer1_Timer();
    void mtxtTimeOut_Validate();
    void btnSearch_Click();
    // Search's single search at another server, as a referral in the result asks: the same
    // check of the query field, but the result box keeps what it shows (the new block goes
    // below it) and the server field keeps its text.
    void SearchOn(const QString &server);

    // The timeout in seconds as the field reads now; a text that is no number counts as 10.
    double timeOut() const;
    // True while a Search command sweeps the server list (also when nested in another).
    bool sweeping() const { return m_sweepDepth > 0; }

    // Every LF becomes CR LF; nothing else changes.
    static QString lfToCrLf(const QString &text);
    // The field's text as a number, if it is one.
    static std::optional<double> readNumber(const QString &text);

private:
    bool queryTextGiven();
    void beginQuery();
    void waitForQuery();
    void enforceMinimumTimeOut();
    bool queryEnded() const;

    QueryControls m_c;
    QueryHost &m_host;
    int m_sweepDepth = 0;
};
