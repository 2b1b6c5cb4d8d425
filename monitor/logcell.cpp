#include "monitor/logcell.h"

QVariant LogCell::data(int role) const
{
    // A text set later (a role value of its own) wins over the one given.
    QVariant value = QTableWidgetItem::data(role);
    if (!value.isValid() && (role == Qt::DisplayRole || role == Qt::EditRole))
        return cellText;
    return value;
}
