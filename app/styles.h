#pragma once

// Style sheets and fonts of the main window.

#include <QString>

namespace styles {

// Push buttons whose text is "PAUSE" or "ENABLE" when the styles are applied
// show red when checked; every other push button shows blue.
inline const QString redCheckButton = QStringLiteral(
    "QPushButton{ background-color: #F7F7F8; color: #35465B;}          "
    "QPushButton:enabled{ background-color: #F7F7F8; color: #35465B;}          "
    "QPushButton:hover{background-color: #E4E6E9; color:#35465B;}          "
    "QPushButton:checked{ background-color: #FF4F48; color: #35465B;}          "
    "QPushButton:disabled{background-color: #F1F2F3; color: rgba(53, 70, 91, 76);}          "
    "QPushButton:released{background-color: #F7F7F8; color: #35465B;}");

inline const QString blueCheckButton = QStringLiteral(
    "QPushButton{ background-color: #F7F7F8; color: #35465B;}          "
    "QPushButton:enabled{ background-color: #F7F7F8; color: #35465B;}          "
    "QPushButton:hover{background-color: #E4E6E9; color:#35465B;}          "
    "QPushButton:checked{ background-color: #00AAFF; color: #35465B;}          "
    "QPushButton:disabled{background-color: #F1F2F3; color: rgba(53, 70, 91, 76);}          "
    "QPushButton:released{background-color: #F7F7F8; color: #35465B;}");

inline const QString toolButton = QStringLiteral(
    "QToolButton{background-color: #F7F7F8;}          "
    "QToolButton:hover{background-color: #E4E6E9;}          "
    "QToolButton:checked{ background-color: #00AAFF;}          "
    "QToolButton:disabled{background-color: #F1F2F3; color: rgba(53, 70, 91, 76);}          "
    "QToolButton:released{background-color: #F7F7F8;}");

inline const QString lineEdit = QStringLiteral(
    "QLineEdit{background-color: #FFFFFF;}          "
    "QLineEdit:disabled{background-color: #E4E6E9;}");

inline const QString messageTable = QStringLiteral(
    "QTableWidget{font-size: 17pt; font-family:SF Mono; background-color: #FFFFFF;}          "
    "QTableWidget:disabled{background-color: #F1F2F3;}");

inline const QString filterList = QStringLiteral(
    "QListWidget{background-color: #FFFFFF;}          "
    "QListWidget:disabled{background-color: #F1F2F3;}");

inline const QString comboBox = QStringLiteral(
    "QComboBox{background-color: #FFFFFF;}          "
    "QComboBox:disabled{background-color: #F1F2F3;}");

inline const QString panelHeading = QStringLiteral("font-weight: bold; font-size: 11pt");

inline const QString window = QStringLiteral("background-color: #F7F7F8");

inline const QString uiFontFamily = QStringLiteral("SF Pro Text");
inline const QString tableFontFamily = QStringLiteral("SF Mono");

// The requested families are Apple fonts that Linux desktops lack; the toolkit's
// default substitute is much wider and pushes the window past its intended size.
// Map them to close open families when those are installed.
void installFontSubstitutes();

} // namespace styles
