#pragma once

#include <QDialog>
#include <QModelIndex>
#include <QString>

class QFileSystemModel;
class QLabel;
class QPushButton;
class QToolButton;
class QTreeView;

namespace Ui {
class TfSelectFolder;
}

// True when a test file can be written in the folder. A file "__1.txt"
// already there counts as success and is left unchanged.
bool IsDirectoryWritable(const QString &folder);

// The node path of a tree node: its display text and each ancestor's, each
// between "[" and "]", from the top down.
QString NodePathOf(const QModelIndex &node);

// The node of a folder tree (over the file system) that a node path
// designates: each group names a sub-folder of the previous one, letter case
// ignored. None when a group names no folder; a missing or empty tree is
// reported as an internal error.
QModelIndex GetNodeByText(QTreeView *tree, const QString &path);

// The folder chooser: a tree of the computer's folders that only accepts a
// folder where a test file can be written and that does not lie in the
// database folder, with a button to create a sub-folder.
class TfSelectFolder : public QDialog
{
    Q_OBJECT
public:
    explicit TfSelectFolder(QWidget *parent = nullptr);
    ~TfSelectFolder() override;

    // Sets the prompt and the folder shown, and selects the node of the
    // node path; without one, the user's desktop folder is selected and
    // opened.
    void start(const QString &prompt, const QString &path, const QString &nodePath);
    void setPrompt(const QString &prompt);
    // The path shown for the selected folder.
    QString selectedFolder() const;
    void setSelectedFolder(const QString &path);
    // Selects the node of a node path (nothing when none is found).
    void selectNodePath(const QString &nodePath);
    // Selects the node of a folder (tests, and after a sub-folder is created).
    void selectFolder(const QString &folder);

    // The node path of the selected folder, empty when it cannot be chosen.
    QString SelectedNodePath;

    // A new node is selected.
    void ShellTreeView1Change(const QModelIndex &node);
    void SBNewFolderClick();
    // Creates the sub-folder of the selected folder and selects it; false
    // (after a message) when it cannot be created.
    bool createSubFolder(const QString &name);

    QTreeView *tree() const;
    QPushButton *okButton() const;
    QToolButton *newFolderButton() const;
    QLabel *folderLabel() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void select(const QModelIndex &node);

    Ui::TfSelectFolder *ui;
    QFileSystemModel *m_model;
};

// Shows the chooser modally. On "Valider", path becomes the chosen folder
// with a trailing "/" and nodePath its node path; otherwise both are kept.
void RunFolderChooser(const QString &prompt, QString &path, QString &nodePath);
