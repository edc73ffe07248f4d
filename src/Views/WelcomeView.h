#pragma once

// The first screen, before any folder is open: the brand, what the app does, one button to
// open a collection, and the four keys worth knowing on a raised column at the right.

#include <QWidget>

class WelcomeView : public QWidget
{
    Q_OBJECT

public:
    explicit WelcomeView(QWidget *parent = nullptr);

Q_SIGNALS:
    void openFolder();
};
