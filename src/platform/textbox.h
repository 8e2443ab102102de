#pragma once

#include <QPlainTextEdit>

// A multi-line text box, read-only to the user, that keeps its text exactly as the program
// wrote it (CR characters included) while showing it cleanly: line breaks come from LF only,
// so the CR of CR LF or CR CR LF never shows as an extra empty line. Appending costs in
// proportion to the piece appended, not to the text already there.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget *parent = nullptr);

    const QString &Text() const { return m_text; }
    void SetText(const QString &text);
    // Same result as SetText(Text() + piece).
    void AppendText(const QString &piece);

    // What the box shows for a piece of its text: CRs dropped, other control characters
    // (TAB and LF aside) as their visible Unicode control pictures.
    static QString displayForm(QStringView piece);

private:
    QString m_text;
};
