#pragma once

#include <QString>
#include <QStringList>

// NDS full names ("NDS:\\TREE\ORG\UNIT\NAME"): how they are written and
// taken apart. The only name form the windows and the tree building see.
namespace stelvo::nds {

// "NDS:\\"
inline const QString kPrefix = QStringLiteral("NDS:\\\\");

// "NDS:\\" + tree + "\" + each component.
QString fullName(const QString& treeName, const QStringList& topDown);

// The components of an NDS full name below its tree name; false when the
// name is not of tree `treeName`.
bool splitFullName(const QString& fullName, const QString& treeName, QStringList* topDown);

// A name component that cannot be written into an NDS full name: the full
// name separates components with "\" and has no escape for it.
bool isRepresentable(const QString& component);

} // namespace stelvo::nds
