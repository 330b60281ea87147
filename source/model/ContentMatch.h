#pragma once
// Reading a panel's stored ContentMatch text: "bottom=<cell>`anchor=<cell>`content=<text>",
// keys found without regard to case, the anchor text running to the end of the text (it may
// hold back-quotes and "=" itself).

#include <QString>

// botRng: the text after "bottom=" up to the next back-quote (or the end); "" without the key.
// aRng and Content: only when "anchor=" is there with a back-quote after it: the anchor is the
// text between them, and Content everything after "content=" (both "" when that key is
// missing). Without "anchor=", or without a back-quote after it, aRng and Content keep the
// values they came in with.
void parseContentMatch(const QString& ContentMatch, QString& botRng, QString& aRng,
                       QString& Content);
