#include "app/styles.h"

#include <QFont>

namespace styles {

void installFontSubstitutes()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QFont::insertSubstitutions(uiFontFamily, {QStringLiteral("Inter"), QStringLiteral("Cantarell")});
    QFont::insertSubstitutions(tableFontFamily,
                               {QStringLiteral("JetBrains Mono"), QStringLiteral("DejaVu Sans Mono")});
}

} // namespace styles
