// platform: the host controls the rest of Lumbra is written against, built over Qt.
//
//   Winsock    TCP client control: one connection at a time, asynchronous, with the
//              notifications Connected, DataArrival and Closed delivered on the GUI thread.
//              What answers beneath it is an Exchange (exchange.h), one way of asking each:
//              a TCP exchange on port 43; one RDAP request, for "rdap" or an http(s) URL; the
//              lookup of "auto", registry and registrar, which runs the other two in turn. All
//              hand their answers up as text through the same notifications.
//   WireText   how queries and answers turn into bytes and back (UTF-8, else Windows-1252; a
//              few servers' own sets; ISO-2022-JP; any set the user chooses to read in).
//   TextBox    multi-line read-only text box that keeps its text exactly as written.
//   MaskEdBox  two-digit masked edit field; UpDown, the spinner bound to it.
//
// Nothing here knows about queries or the main window; the layers above drive these
// controls through their public members and signals only.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include "exchange.h"
#include "wiretext.h"

class Winsock : public QObject {
    Q_OBJECT
public:
    // The control's states; 0 is the only one the program tests for.
    enum StateConstants {
        sckClosed = 0,
        sckOpen = 1,
        sckListening = 2,
        sckConnectionPending = 3,
        sckResolvingHost = 4,
        sckHostResolved = 5,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9,
    };
    // GetData's data type code for text.
    static constexpr int vbString = 8;
    // The most bytes one DataArrival announces.
    static constexpr qint64 MaxPiece = TcpExchange::MaxPiece;
    // The most bytes of one WHOIS answer that are read; past them the connection is closed and
    // CutLine ends the text. An RDAP answer has the same limit (rdap::Client::MaxBody).
    static constexpr qint64 MaxAnswer = TcpExchange::MaxAnswer;
    static const QString &CutLine() { return TcpExchange::CutLine(); }

    explicit Winsock(QObject *parent = nullptr);
    ~Winsock() override;

    int State() const { return m_state; }
    quint16 LocalPort() const { return m_localPort; }
    void setLocalPort(quint16 port) { m_localPort = port; }
    quint16 RemotePort() const { return m_remotePort; }
    void setRemotePort(quint16 port) { m_remotePort = port; }
    QString RemoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString &host) { m_remoteHost = host; }

    // Starts connecting to RemoteHost:RemotePort and returns at once. A host text that cannot
    // be used leaves the control in sckError without any notification. For an RDAP server
    // (rdap::serverForm) or "auto" nothing connects: Connected follows from the event loop.
    void Connect();
    // Sends the text as RemoteHost reads it: domain names in ACE form (or Unicode, where the
    // server wants that), in Windows-1252 where it holds every character, else in UTF-8 (see
    // WireText::queryBytes); ignored unless connected. To an RDAP server or "auto" the text
    // less its CR LF is the query: each piece of each request as it comes is a DataArrival of
    // 0 bytes, and each answer, once complete, arrives like a WHOIS answer; then Closed.
    void SendData(const QString &data);
    // Takes up to maxLen received bytes as text: a WHOIS answer by AnswerDecoder's rules, in
    // the set of its server where the table names one; an RDAP answer's rendering as UTF-8
    // alone. Bytes that end inside a character come with the next piece; those still unfinished
    // when the answer ends come, as Windows-1252 (U+FFFD in another set), with a last
    // DataArrival. A WHOIS answer longer than MaxAnswer ends after its first MaxAnswer bytes
    // with CutLine on a line of its own, as if the server had closed. False (data untouched)
    // when there is no connection to read from or the type is not text.
    bool GetData(QString &data, int type, qint32 maxLen);
    // Ends the connection (or the RDAP request) in any state. No notification of it follows.
    void Close();

    // Counts the answers begun: it changes with every Connect and with every AnswerBegins.
    quint64 AnswerNumber() const { return m_answerNumber; }
    // Whose rules read the current answer when the user chose no set (AnswerDecoder::reset).
    QString AnswerServer() const;
    // True when the current answer is text of Lumbra's own writing in UTF-8 (an RDAP answer's
    // rendering), which no WHOIS character-set rule may read: "Read as" > "Automatic" reads
    // it with AnswerDecoder::readUtf8Text.
    bool AnswerIsUtf8Text() const;
    // For an RDAP answer: its body as the server sent it, and how many of the answer's bytes
    // stand before the body's rendering (the URL that answered, an error's status line); -1
    // for any other answer. For "Read as" > "JSON as received".
    QByteArray AnswerBody() const;
    qsizetype AnswerHeadSize() const;
    // The rest of the current answer is read by this decoder, which has already read every byte
    // GetData took of it so far (the user chose another set to read it in).
    void SetAnswerDecoder(AnswerDecoder decoder);

    // Test seam: connections go to this port instead of RemotePort (0 turns it off).
    void setTestPort(quint16 port) { m_setup.testPort = port; }
    // Test seam: host names resolve through this table alone (name in resolver form -> address),
    // so no resolver is asked; a name missing from it fails like one that cannot be resolved.
    void setTestHosts(const QHash<QString, QString> &hosts) {
        m_setup.testHosts = hosts;
        m_setup.useTestHosts = true;
    }

    // Test seams for RDAP: the bootstrap files come from this base URL instead of IANA's, a
    // top-level domain is asked at this one instead of IANA's RDAP service, and these CAs are
    // trusted beside the system's.
    void setTestRdapBootstrap(const QUrl &base) { m_setup.testBootstrap = base; }
    void setTestRdapTopLevel(const QUrl &base) { m_setup.testTopLevel = base; }
    void setTestRdapCas(const QList<QSslCertificate> &certificates) {
        m_setup.testCas = certificates;
    }

    // The host text in the form handed to the resolver: blanks trimmed, IPv6 brackets
    // removed, internationalized names in ASCII form, one trailing dot dropped. Empty when the
    // text is no IP address and no host name as host/hostname.h reads them.
    static QString resolverHost(const QString &text);

Q_SIGNALS:
    void Connected();
    void DataArrival(qint32 bytesTotal);
    void Closed();
    // The bytes one GetData took, as they came, before they are read as text.
    void BytesRead(const QByteArray &bytes);
    // Text that GetData handed out beyond the answer's bytes: the cut at MaxAnswer (its line
    // end and CutLine), so that the answer read again in another set keeps it.
    void TextAdded(const QString &text);
    // Another answer of the same query begins ("auto": the registrar's after the registry's).
    void AnswerBegins();
    // Where the lookup of "auto" stands: "Connecting .... host", "Connected to host".
    void Status(const QString &line);

private:
    void drop();
    void queueHandUp();
    void handUp(quint64 request);
    bool current(quint64 request) const { return m_exchange && request == m_request; }

    Exchange *m_exchange = nullptr;
    // Whether the answer is handed up as the socket delivers it (WHOIS), not once complete.
    bool m_streaming = false;
    bool m_handUpQueued = false;
    int m_state = sckClosed;
    quint16 m_localPort = 0;
    quint16 m_remotePort = 0;
    quint64 m_answerNumber = 0;
    // Counts Connect and Close calls: a queued step of an earlier request finds it changed.
    quint64 m_request = 0;
    QString m_remoteHost;
    ExchangeSetup m_setup;
};
