// ui: the window the user meets, and the program's start-up.
//
//   frmMain      the main window: its controls placed as designed (twips turned into pixels
//                at the screen's resolution), its start-up content, the commands Copy, Info and
//                Exit, and the routing of Search to the query handlers (query/).
//   frmResource  the hidden holder of the four status animation frames, created on first use.
//   FindWindow   finds text in the result box (Ctrl+F, F3, Shift+F3, the box's context menu),
//                created on first use.
//   referral     (rdap/referral.h, below) the WHOIS server a selection or an answer's line
//                names, which the box's context menu offers to search with one click.
//   AnswerBlocks each answer in the result box with the bytes it came as, for "Read as" in the
//                box's context menu: one answer read again in another character set.
//   MessageBox   every message box goes through it, so tests can answer it without a person.
#pragma once

#include "query/query.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class MaskEdBox;
class PictureBox;
class TextBox;
class UpDown;
class Winsock;
class FindWindow;
class AnswerBlocks;
class frmResource;

// A QDialog, so that Enter reaches the default button wherever the focus is; it carries the
// frame of an ordinary top-level window and Esc does nothing.
class frmMain : public QDialog, public QueryHost {
    Q_OBJECT
public:
    // The built-in server list, in list order.
    static const QStringList &whoisServers();

    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    QueryForm &query() { return *m_query; }
    Winsock &winsock() { return *Winsock1; }
    // What ends the program after Exit or closing the window; tests replace it.
    void setEndProgram(std::function<void()> endProgram) { m_endProgram = std::move(endProgram); }

    void Form_Load();
    void btnCopy_Click();
    void btnInfo_Click();
    void btnExit_Click();
    // Adds "Search on <server>" (when the selection the menu was opened on, or else the line,
    // names a WHOIS server or an RDAP service), "Search with RDAP", "Search with auto",
    // "Find..." and "Read as"
    // before Qt's own entries of the result box's context menu.
    void txtSearchResult_ContextMenu(QMenu *menu, const QString &line, bool onSelection);
    // The Find window, created on first use.
    FindWindow &findWindow();

    QPixmap animationFrame(int index) override;
    void messageBox(const QString &prompt, const QString &title) override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void reject() override;

private:
    void createControls();
    void placeControls();
    void closeConnection();

    QPushButton *btnCopy;
    QPushButton *btnSearch;
    QPushButton *btnInfo;
    QPushButton *btnExit;
    UpDown *UpDown1;
    MaskEdBox *mtxtTimeOut;
    QTimer *Timer1;
    QCheckBox *chkAll;
    QComboBox *cmbWhoisServer;
    Winsock *Winsock1;
    TextBox *txtSearchResult;
    QLineEdit *txtSearchText;
    PictureBox *imgStatus;
    QLabel *Label7;
    QLabel *lblTimeOut;
    QLabel *lblStatus;
    QLabel *Label4;
    QLabel *Label3;
    QLabel *Label2;
    QLabel *Label1;

    QueryForm *m_query = nullptr;
    frmResource *m_resource = nullptr;
    FindWindow *m_find = nullptr;
    AnswerBlocks *m_answers = nullptr;
    std::function<void()> m_endProgram;
};
