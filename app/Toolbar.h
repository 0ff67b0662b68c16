#pragma once
// Toolbar pictures: a word on a rounded grey button face.

#include <QIcon>
#include <QString>

namespace larkspur {

QIcon toolbarPicture(const QString& word);

} // namespace larkspur
