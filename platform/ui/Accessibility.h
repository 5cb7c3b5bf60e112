#pragma once

#include <QAccessible>
#include <QString>

class QWidget;

// What screen readers are told about widgets whose Qt defaults say too little. Qt's own interfaces stay
// for everything else.

// A role of the widget's own: a plain widget is Qt's "client", which AT-SPI reads as a filler. A Link is
// also focusable and has the press action, which does what the space bar does on it.
void SetAccessibleRole(QWidget& widget, QAccessible::Role role);

// From now on the checkable items of popup menus are read as check boxes, ticked or not: Qt 6.4 reads
// them as plain items and an unticked one would not say that it can be ticked. Call with the application
// object made and before the menus are first read.
void ReadCheckableItemsAsCheckBoxes();

// The dialog's static labels become the buddies of the fields they stand beside on the left (their
// vertical middle within the field's height, the field starting at most a few pixels further on), so
// that each field is named by its label and an & in the label gives the field a letter shortcut.
void BindLabelsToFields(QWidget& dialog);

// The dialog's auto-exclusive radio buttons: labelled by the group frame around them (the frame's
// accessible name, else its title; an untitled frame is given untitledName), and one tab stop, entered
// on the checked button. Call once the starting choice is checked.
void PrepareRadioGroups(QWidget& dialog, const QString& untitledName = QString());
