#pragma once

#include <QDate>
#include <QString>

// The Japanese era year of a date: "令和8年", "令和元年" for an era's first year; empty text
// before the first era counted here (明治, from 23 October 1868).
QString JapaneseEraYear(const QDate& date);
