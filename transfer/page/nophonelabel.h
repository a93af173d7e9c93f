#pragma once

#include <QCoreApplication>
#include <QLabel>

// The line a pane of the transfer page shows while it holds no phone, in
// place of empty lists that say nothing.
inline QLabel *makeNoPhoneLabel(QWidget *parent)
{
    auto *label = new QLabel(QCoreApplication::translate("PRTansferViewController", "No iPhone is connected."), parent);
    label->setObjectName(QStringLiteral("noPhoneLab"));
    label->setAlignment(Qt::AlignCenter);
    QFont big = label->font();
    big.setPointSize(big.pointSize() + 4);
    label->setFont(big);
    return label;
}
