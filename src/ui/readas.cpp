#include "readas.h"

#include "platform/textbox.h"
#include "platform/winsock.h"
#include "platform/wiretext.h"
#include "query/query.h"

#include <QActionGroup>
#include <QMenu>

#include <algorithm>
#include <utility>

AnswerBlocks::AnswerBlocks(TextBox *box, Winsock *winsock, QObject *parent)
    : QObject(parent)
    , m_box(box)
    , m_winsock(winsock) {
    // The header stands in the box before the control connects; the answer follows it, and
    // each further answer of the same query follows the one before.
    auto begin = [this] {
        Block block;
        block.start = block.end = m_box->Text().size();
        block.server = m_winsock->AnswerServer();
        block.answer = m_winsock->AnswerNumber();
        m_blocks.push_back(std::move(block));
    };
    connect(m_winsock, &Winsock::Connected, this, begin);
    connect(m_winsock, &Winsock::AnswerBegins, this, begin);
    connect(m_winsock, &Winsock::BytesRead, this, [this](const QByteArray &bytes) {
        if (!m_blocks.empty() && receiving(m_blocks.back())) {
            keep(m_blocks.back().bytes, bytes);
            // Known once the answer's bytes come: "auto" learns whose answer it is as it asks.
            m_blocks.back().server = m_winsock->AnswerServer();
            m_blocks.back().utf8Text = m_winsock->AnswerIsUtf8Text();
            m_blocks.back().headSize = m_winsock->AnswerHeadSize();
            if (m_blocks.back().headSize >= 0)
                m_blocks.back().body = m_winsock->AnswerBody();
        }
    });
    connect(m_winsock, &Winsock::TextAdded, this, [this](const QString &text) {
        if (!m_blocks.empty() && receiving(m_blocks.back()))
            m_blocks.back().added += text;
    });
    connect(m_winsock, &Winsock::DataArrival, this, [this] {
        if (!m_blocks.empty() && receiving(m_blocks.back()))
            m_blocks.back().end = m_box->Text().size();
    });
    connect(m_box, &TextBox::TextReset, this, [this] { m_blocks.clear(); });
}

void AnswerBlocks::keep(QList<QByteArray> &chunks, QByteArrayView bytes) {
    // Most answers fit the first chunk; a long one goes on in large chunks, which the allocator
    // maps apart, so that they touch no more fresh memory than the bytes they hold.
    constexpr qsizetype FirstChunk = 256 * 1024;
    constexpr qsizetype LaterChunk = 4 * 1024 * 1024;
    while (!bytes.isEmpty()) {
        if (chunks.isEmpty() || chunks.back().size() == chunks.back().capacity()) {
            chunks.append(QByteArray());
            chunks.back().reserve(chunks.size() == 1 ? FirstChunk : LaterChunk);
        }
        QByteArray &last = chunks.back();
        const qsizetype n = std::min(bytes.size(), last.capacity() - last.size());
        last.append(bytes.first(n));
        bytes = bytes.sliced(n);
    }
}

bool AnswerBlocks::receiving(const Block &block) const {
    return block.answer == m_winsock->AnswerNumber() && m_winsock->State() != Winsock::sckClosed;
}

int AnswerBlocks::blockAt(qsizetype at) const {
    for (std::size_t i = 0; i < m_blocks.size(); ++i) {
        const Block &b = m_blocks[i];
        // The very end of the text still belongs to the last answer.
        const bool inside = at < b.end || (at == b.end && at == m_box->Text().size());
        if (b.start < b.end && b.start <= at && inside)
            return int(i);
    }
    return -1;
}

void AnswerBlocks::addMenu(QMenu *menu, QAction *before, qsizetype at) {
    const int index = blockAt(at);
    auto *sets = new QMenu(QStringLiteral("Read &as"), menu);
    sets->setObjectName(QStringLiteral("mnuReadAs"));
    auto *group = new QActionGroup(sets);
    const QByteArray current = index >= 0 ? m_blocks[std::size_t(index)].set : QByteArray();
    const bool json = index >= 0 && m_blocks[std::size_t(index)].json;
    auto add = [&](const QString &caption, const QByteArray &set) {
        QAction *item = sets->addAction(caption);
        item->setCheckable(true);
        item->setChecked(!json && set == current);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, at, set] { readAs(at, set); });
    };
    add(QStringLiteral("Automatic"), QByteArray());
    if (index >= 0 && m_blocks[std::size_t(index)].headSize >= 0) {
        QAction *item = sets->addAction(QStringLiteral("&JSON as received"));
        item->setObjectName(QStringLiteral("mnuJsonAsReceived"));
        item->setToolTip(QStringLiteral("Show this RDAP answer as the server sent it"));
        item->setCheckable(true);
        item->setChecked(json);
        item->setEnabled(!receiving(m_blocks[std::size_t(index)]));
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, at] { showJson(at); });
    }
    for (const QByteArray &set : WireText::readAsSets())
        add(QString::fromLatin1(set), set);
    QAction *item = menu->insertMenu(before, sets);
    item->setToolTip(QStringLiteral("Read this answer again in another character set"));
    item->setEnabled(index >= 0);
}

bool AnswerBlocks::readAs(qsizetype at, const QByteArray &set) {
    const int index = blockAt(at);
    if (index < 0)
        return false;
    Block &block = m_blocks[std::size_t(index)];
    AnswerDecoder decoder;
    if (!set.isEmpty())
        decoder.readAs(set);
    else if (block.utf8Text)
        decoder.readUtf8Text();
    else
        decoder.reset(block.server);
    QString text;
    for (const QByteArray &chunk : std::as_const(block.bytes))
        text += decoder.take(chunk);
    const bool live = receiving(block);
    if (!live)
        text += decoder.finish() + block.added;
    replace(block, index, std::move(text));
    block.set = set;
    block.json = false;
    if (live)
        m_winsock->SetAnswerDecoder(std::move(decoder));
    return true;
}

bool AnswerBlocks::showJson(qsizetype at) {
    const int index = blockAt(at);
    if (index < 0)
        return false;
    Block &block = m_blocks[std::size_t(index)];
    if (block.headSize < 0 || receiving(block))
        return false;
    // The lines before the rendering (the URL, an error's status line), Lumbra's own UTF-8
    // text; then the body as the server sent it, read by the answer rules as any body that is
    // not rendered is, so that every byte of it shows.
    AnswerDecoder own;
    own.readUtf8Text();
    QString text;
    qsizetype head = block.headSize;
    for (const QByteArray &chunk : std::as_const(block.bytes)) {
        if (head <= 0)
            break;
        text += own.take(QByteArrayView(chunk).first(std::min(head, chunk.size())));
        head -= chunk.size();
    }
    text += own.finish();
    AnswerDecoder body;
    body.reset(block.server);
    text += body.take(block.body);
    text += body.finish();
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    replace(block, index, std::move(text));
    block.json = true;
    return true;
}

void AnswerBlocks::replace(Block &block, int index, QString text) {
    text = QueryForm::lfToCrLf(text);
    const qsizetype delta = text.size() - (block.end - block.start);
    m_box->ReplaceText(block.start, block.end - block.start, text);
    block.end += delta;
    for (std::size_t i = std::size_t(index) + 1; i < m_blocks.size(); ++i) {
        m_blocks[i].start += delta;
        m_blocks[i].end += delta;
    }
}
