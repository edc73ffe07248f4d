#pragma once

// A plain window that lists the scanned sections of a folder with their photo counts and each
// photo's name and size. It stands in until the sorting board exists.

#include "Services/FileSystemService.h"

#include <QFutureWatcher>
#include <QMainWindow>

class QLabel;
class QTreeWidget;

class PlaceholderWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit PlaceholderWindow(QWidget *parent = nullptr);

    void openFolder(const QString &path);

private:
    void chooseFolder();
    void showResult(const Result<PhotoCollection> &result);

    FileSystemService m_service;
    QFutureWatcher<Result<PhotoCollection>> m_scan;
    QLabel *m_status = nullptr;
    QTreeWidget *m_tree = nullptr;
};
