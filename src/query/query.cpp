#include "query.h"

#include "platform/maskedbox.h"
#include "platform/picturebox.h"
#include "platform/textbox.h"
#include "platform/winsock.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const QString CrLf = QStringLiteral("\r\n");

qint16 toInt16Rounded(double value) {
    // Nearest integer, halves to the even neighbour (the default rounding mode).
    const double r = std::nearbyint(value);
    if (!(r >= std::numeric_limits<qint16>::min()))
        return std::numeric_limits<qint16>::min();
    if (r > std::numeric_limits<qint16>::max())
        return std::numeric_limits<qint16>::max();
    return static_cast<qint16>(r);
}
} // namespace

QueryForm::QueryForm(const QueryControls &controls, QueryHost &host, QObject *parent)
    : QObject(parent)
    , m_c(controls)
    , m_host(host) {
    connect(m_c.Winsock1, &Winsock::Connected, this, &QueryForm::Winsock1_Connect);
    connect(m_c.Winsock1, &Winsock::DataArrival, this, &QueryForm::Winsock1_DataArrival);
    connect(m_c.Winsock1, &Winsock::Closed, this, &QueryForm::Winsock1_Close);
    connect(m_c.Timer1, &QTimer::timeout, this, &QueryForm::Timer1_Timer);
    connect(m_c.mtxtTimeOut, &MaskEdBox::Validate, this, &QueryForm::mtxtTimeOut_Validate);
}

void QueryForm::StartQuery(const QString &searchText, const QString &server) {
    m_c.lblStatus->setText(QStringLiteral("Connecting .... ") + server);
    m_c.txtSearchResult->AppendText(CrLf + QString(56, QLatin1Char('-')) + CrLf);
    m_c.txtSearchResult->AppendText(QStringLiteral("Search results of: ") + server + CrLf + CrLf);
    strServer = server;
    strSearchText = searchText;
    if (m_c.Winsock1->State() != Winsock::sckClosed)
        m_c.Winsock1->Close();
    m_c.Winsock1->setLocalPort(0);
    m_c.Winsock1->setRemotePort(WhoisPort);
    m_c.Winsock1->setRemoteHost(server);
    m_c.Winsock1->Connect();
}

void QueryForm::Winsock1_Connect() {
    m_c.lblStatus->setText(QStringLiteral("Connected to ") + strServer);
    m_c.Winsock1->SendData(strSearchText + CrLf);
    intSeconds = 0;
}

void QueryForm::Winsock1_DataArrival(qint32 bytesTotal) {
    QString data;
    // Only bytes the server sent are appended: a failed read adds nothing.
    if (m_c.Winsock1->GetData(data, Winsock::vbString, bytesTotal))
        m_c.txtSearchResult->AppendText(lfToCrLf(data));
    if (intFrame < 0 || intFrame > 3)
        intFrame = 0;
    m_c.imgStatus->SetPicture(m_host.animationFrame(intFrame));
    ++intFrame;
    intSeconds = 0;
}

void QueryForm::Winsock1_Close() {
    m_c.Winsock1->Close();
    m_c.lblStatus->setText(QString());
    m_c.imgStatus->setVisible(false);
    m_c.lblTimeOut->setText(QString());
    m_c.Winsock1->Close();
    m_c.Timer1->stop();
    // Past the timeout, which ends the wait of a running sweep.
    intSeconds = toInt16Rounded(timeOut() + 100);
}

void QueryForm::Timer1_Timer() {
    if (intSeconds < std::numeric_limits<qint16>::max())
        ++intSeconds;
    m_c.lblTimeOut->setText(QString::number(intSeconds));
    enforceMinimumTimeOut();
    if (timeOut() < intSeconds) {
        m_c.lblStatus->setText(QString());
        m_c.imgStatus->setVisible(false);
        m_c.lblTimeOut->setText(QString());
        m_c.Winsock1->Close();
        m_c.Timer1->stop();
    }
}

void QueryForm::mtxtTimeOut_Validate() {
    enforceMinimumTimeOut();
}

void QueryForm::btnSearch_Click() {
    if (m_c.cmbWhoisServer->currentText().isEmpty()) {
        m_host.messageBox(QStringLiteral("A WHOIS Server must be entered!"),
                          QStringLiteral("Error"));
        m_c.cmbWhoisServer->setFocus();
        return;
    }
    if (!queryTextGiven())
        return;
    m_c.txtSearchResult->SetText(QString());

    if (m_c.chkAll->checkState() == Qt::Unchecked) {
        beginQuery();
        StartQuery(m_c.txtSearchText->text(), m_c.cmbWhoisServer->currentText());
        return;
    }

    ++m_sweepDepth;
    const int servers = m_c.cmbWhoisServer->count();
    for (int i = 0; i < servers; ++i) {
        beginQuery();
        // The query text is read afresh for every server.
        StartQuery(m_c.txtSearchText->text(), m_c.cmbWhoisServer->itemText(i));
        waitForQuery();
    }
    --m_sweepDepth;
}

void QueryForm::SearchOn(const QString &server) {
    if (!queryTextGiven())
        return;
    beginQuery();
    StartQuery(m_c.txtSearchText->text(), server);
}

bool QueryForm::queryTextGiven() {
    if (!m_c.txtSearchText->text().isEmpty())
        return true;
    m_host.messageBox(QStringLiteral("Please enter a searchstring!"), QStringLiteral("Error"));
    m_c.txtSearchText->setFocus();
    return false;
}

void QueryForm::beginQuery() {
    intSeconds = 0;
    if (!m_c.Timer1->isActive())
        m_c.Timer1->start(); // an already running timer keeps its period
    m_c.imgStatus->setVisible(true);
}

void QueryForm::waitForQuery() {
    // Runs every pending event (ticks, notifications, clicks, a nested Search) and sleeps
    // until the next one when there is none, so waiting on a silent server costs no CPU.
    while (!(timeOut() < intSeconds)) {
        if (queryEnded())
            break;
        enforceMinimumTimeOut();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

bool QueryForm::queryEnded() const {
    return !m_c.Timer1->isActive() && m_c.Winsock1->State() == Winsock::sckClosed;
}

void QueryForm::enforceMinimumTimeOut() {
    const std::optional<double> value = readNumber(m_c.mtxtTimeOut->Text());
    if (!value || *value < MinimumTimeOut)
        m_c.mtxtTimeOut->SetText(QString::number(MinimumTimeOut));
}

double QueryForm::timeOut() const {
    return readNumber(m_c.mtxtTimeOut->Text()).value_or(MinimumTimeOut);
}

std::optional<double> QueryForm::readNumber(const QString &text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString QueryForm::lfToCrLf(const QString &text) {
    const qsizetype lfs = text.count(QLatin1Char('\n'));
    if (lfs == 0)
        return text;
    // Sized once and copied line by line: an answer's piece is often hundreds of KiB.
    QString out(text.size() + lfs, Qt::Uninitialized);
    QChar *to = out.data();
    const QChar *from = text.constData();
    const QChar *const end = from + text.size();
    while (from != end) {
        const QChar *lf = std::find(from, end, QLatin1Char('\n'));
        to = std::copy(from, lf, to);
        if (lf == end)
            break;
        *to++ = QLatin1Char('\r');
        *to++ = QLatin1Char('\n');
        from = lf + 1;
    }
    return out;
}
