#include "core/SelectFolder.h"

#include "core/Common.h"
#include "core/ErrorForm.h"
#include "core/Globals.h"

#include "platform/DesktopEntry.h"
#include "platform/Dialogs.h"
#include "core/NewFolder.h"
#include "ui_SelectFolder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QRegularExpression>

#include <unistd.h>

bool IsDirectoryWritable(const QString &folder)
{
    const QFileInfo info(folder);
    if (!info.isDir() || ::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return false;
    const QString probe = AddBackslash(folder) + QStringLiteral("__1.txt");
    if (QFileInfo::exists(probe))
        return true;
    QFile file(probe);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const bool written = file.write("test\n") == 5;
    file.close();
    const bool present = QFileInfo::exists(probe);
    if (present)
        QFile::remove(probe);
    return written && present;
}

QString NodePathOf(const QModelIndex &node)
{
    QString path;
    for (QModelIndex n = node; n.isValid(); n = n.parent())
        path.prepend(u'[' + n.data().toString() + u']');
    return path;
}

QModelIndex GetNodeByText(QTreeView *tree, const QString &path)
{
    static const QString routine = QStringLiteral("GetNodeByText");
    if (path.trimmed().isEmpty())
        return {};
    if (!tree) {
        Creer_ErrorForm(routine, QStringLiteral("ATree=Nil, Path=") + path,
                        QStringLiteral("Le composant tShellYteeView n'existe pas."));
        return {};
    }
    const QString name = tree->objectName();
    auto *model = qobject_cast<QFileSystemModel *>(tree->model());
    if (!model || model->rowCount(tree->rootIndex()) == 0) {
        Creer_ErrorForm(routine, name + QStringLiteral(", Path=") + path,
                        QStringLiteral("Le composant ") + name + QStringLiteral(" ne contient pas d'éléments."));
        return {};
    }
    tree->collapseAll();

    QStringList groups;
    static const QRegularExpression group(QStringLiteral("\\[([^\\]]*)\\]"));
    for (auto it = group.globalMatch(path); it.hasNext();)
        groups << it.next().captured(1);
    if (groups.isEmpty())
        return {};

    // The first group names a top node; each next one a sub-folder of the
    // folder found so far, read from the disk (the tree loads its folders
    // only when they are shown).
    QString folder;
    for (int row = 0; row < model->rowCount(tree->rootIndex()); ++row) {
        const QModelIndex top = model->index(row, 0, tree->rootIndex());
        if (top.data().toString().compare(groups.first(), Qt::CaseInsensitive) == 0) {
            folder = model->filePath(top);
            break;
        }
    }
    if (folder.isEmpty())
        return {};
    for (qsizetype i = 1; i < groups.size(); ++i) {
        const QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
        QString found;
        for (const QString &entry : names) {
            if (entry == groups[i]) {
                found = entry;
                break;
            }
            if (found.isEmpty() && entry.compare(groups[i], Qt::CaseInsensitive) == 0)
                found = entry;
        }
        if (found.isEmpty())
            return {};
        folder = AddBackslash(folder) + found;
    }
    const QModelIndex node = model->index(folder);
    for (QModelIndex n = node.parent(); n.isValid(); n = n.parent())
        tree->expand(n);
    return node;
}

TfSelectFolder::TfSelectFolder(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TfSelectFolder)
    , m_model(new QFileSystemModel(this))
{
    ui->setupUi(this);
    // The layout holds the texts without accents.
    setWindowTitle(QStringLiteral("Sélection d'un répertoire"));
    ui->Panel2->setText(QStringLiteral("Veuillez sélectionner le répertoire de sauvegarde de la base de données"));
    ui->Label3->setText(QStringLiteral("Dossier sélectionné :"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    m_model->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setReadOnly(true);
    m_model->setRootPath(QString());
    m_model->index(QStringLiteral("/"));
    ui->ShellTreeView1->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        ui->ShellTreeView1->hideColumn(column);
    ui->ShellTreeView1->expand(m_model->index(QStringLiteral("/")));

    connect(ui->ShellTreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { ShellTreeView1Change(current); });
    connect(ui->SBNewFolder, &QToolButton::clicked, this, &TfSelectFolder::SBNewFolderClick);
    connect(ui->BtOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->BtCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfSelectFolder::~TfSelectFolder()
{
    delete ui;
}

void TfSelectFolder::start(const QString &prompt, const QString &path, const QString &nodePath)
{
    setPrompt(prompt);
    setSelectedFolder(path);
    if (!nodePath.isEmpty()) {
        selectNodePath(nodePath);
        return;
    }
    const QString desktop = DesktopEntry::desktopFolder();
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir())
        return;
    selectFolder(desktop);
    ui->ShellTreeView1->expand(ui->ShellTreeView1->currentIndex());
}

void TfSelectFolder::setPrompt(const QString &prompt)
{
    ui->Panel2->setText(prompt);
}

QString TfSelectFolder::selectedFolder() const
{
    return ui->lRep->text();
}

void TfSelectFolder::setSelectedFolder(const QString &path)
{
    ui->lRep->setText(path);
}

void TfSelectFolder::selectNodePath(const QString &nodePath)
{
    SelectedNodePath = nodePath;
    if (!nodePath.isEmpty())
        select(GetNodeByText(ui->ShellTreeView1, nodePath));
}

void TfSelectFolder::selectFolder(const QString &folder)
{
    select(m_model->index(QDir::cleanPath(folder)));
}

void TfSelectFolder::select(const QModelIndex &node)
{
    if (!node.isValid())
        return;
    for (QModelIndex n = node.parent(); n.isValid(); n = n.parent())
        ui->ShellTreeView1->expand(n);
    ui->ShellTreeView1->setCurrentIndex(node);
    ui->ShellTreeView1->scrollTo(node);
}

void TfSelectFolder::ShellTreeView1Change(const QModelIndex &node)
{
    const QString folder = node.isValid() ? m_model->filePath(node) : QString();
    ui->lRep->setText(folder);
    // A backup inside the database folder would copy the database into itself.
    const bool usable = !folder.isEmpty() && IsDirectoryWritable(folder)
                        && (Globals::BaseFolder.isEmpty() || !IsSameOrBelow(folder, Globals::BaseFolder));
    ui->lRep->setStyleSheet(usable ? QStringLiteral("color: rgb(0, 128, 0);") : QStringLiteral("color: rgb(255, 0, 0);"));
    ui->BtOK->setEnabled(usable);
    ui->SBNewFolder->setEnabled(usable);
    SelectedNodePath = usable ? NodePathOf(node) : QString();
}

void TfSelectFolder::SBNewFolderClick()
{
    TfNewFolder dialog(ui->lRep->text(), this);
    if (dialog.exec() == QDialog::Accepted)
        createSubFolder(dialog.folderName());
}

bool TfSelectFolder::createSubFolder(const QString &name)
{
    // One level below the selected folder: no separator, no "." or "..".
    const bool plainName = !name.isEmpty() && !name.contains(u'/') && name != QLatin1String(".")
                           && name != QLatin1String("..");
    const QString newPath = AddBackslash(ui->lRep->text()) + name;
    if (!plainName || !QDir().mkpath(newPath)) {
        Dialogs::instance().information(QStringLiteral("La création du répertoire a échoué."));
        return false;
    }
    ui->lRep->setText(newPath);
    const QString nodePath = SelectedNodePath + u'[' + name + u']';
    SelectedNodePath = nodePath;
    select(GetNodeByText(ui->ShellTreeView1, nodePath));
    return true;
}

QTreeView *TfSelectFolder::tree() const
{
    return ui->ShellTreeView1;
}

QPushButton *TfSelectFolder::okButton() const
{
    return ui->BtOK;
}

QToolButton *TfSelectFolder::newFolderButton() const
{
    return ui->SBNewFolder;
}

QLabel *TfSelectFolder::folderLabel() const
{
    return ui->lRep;
}

void TfSelectFolder::keyPressEvent(QKeyEvent *event)
{
    // Esc does not cancel: only "Annuler" does.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void RunFolderChooser(const QString &prompt, QString &path, QString &nodePath)
{
    TfSelectFolder chooser(QApplication::activeWindow());
    chooser.start(prompt, path, nodePath);
    if (chooser.exec() == QDialog::Accepted) {
        path = AddBackslash(chooser.selectedFolder());
        nodePath = chooser.SelectedNodePath;
    }
}
