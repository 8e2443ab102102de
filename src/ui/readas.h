#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <vector>

class QAction;
class QMenu;
class TextBox;
class Winsock;

// "Read as": the result box's answers, each with the bytes it was read from, so that the user
// can read one of them again in another character set; an RDAP answer also as the JSON the
// server sent ("JSON as received"), in place of its rendering, until "Automatic" gives that back.
// An answer's block runs from the end of its header (or of the answer before it, for the second
// answer of "auto") to the next answer the program writes (or the end of the text); the box
// keeps the blocks until Search sets its text anew. Re-reading replaces that block alone; an
// answer still arriving goes on in the chosen set.
class AnswerBlocks : public QObject {
    Q_OBJECT
public:
    // Watches what the control reads and what the box shows. Made after the query handlers
    // are connected, so that it sees each piece already appended.
    AnswerBlocks(TextBox *box, Winsock *winsock, QObject *parent = nullptr);

    // Puts the submenu "Read as" before `before`: enabled when text index `at` lies in an
    // answer, with the set that answer is read in checked.
    void addMenu(QMenu *menu, QAction *before, qsizetype at);
    // Reads the answer at text index `at` again in `set` (one of WireText::readAsSets), or by
    // the automatic rules when `set` is empty. False when `at` lies in no answer.
    bool readAs(qsizetype at, const QByteArray &set);
    // Shows the RDAP answer at text index `at` as its body came, below the lines before its
    // rendering. False when `at` lies in no answer, or in one that is no RDAP answer or is still
    // arriving.
    bool showJson(qsizetype at);

private:
    struct Block {
        qsizetype start = 0;
        qsizetype end = 0;
        QString server; // whose rules read it
        quint64 answer = 0;
        // As received, copied into chunks (see keep): holding on to each buffer the control
        // read, or growing one array, would touch far more fresh memory than the bytes, and
        // slow the intake down.
        QList<QByteArray> bytes;
        QByteArray set;        // empty: the automatic rules
        bool utf8Text = false; // Lumbra's own UTF-8 text (an RDAP rendering): no WHOIS rules
        QString added;         // what the control added after the bytes (the cut's line)
        // An RDAP answer's body as the server sent it, and how many of the bytes above stand
        // before its rendering (-1: no RDAP answer); whether the box shows the body.
        QByteArray body;
        qsizetype headSize = -1;
        bool json = false;
    };
    void replace(Block &block, int index, QString text);
    static void keep(QList<QByteArray> &chunks, QByteArrayView bytes);
    int blockAt(qsizetype at) const;
    bool receiving(const Block &block) const;

    TextBox *m_box;
    Winsock *m_winsock;
    std::vector<Block> m_blocks;
};
