// Dispatch of one received message text by its type digit and exact text. The host and
// client handlers implement MessageHandler and call dispatch() with their side; the
// branches that one side does not have never reach it.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

enum class Side { Client, Host };

class MessageHandler
{
public:
    virtual ~MessageHandler() = default;
    virtual void onHello() {}                   // "0hello" (client only)
    virtual void onPlaced() {}                  // "1配置完了"
    virtual void onFirstShot(bool clientFirst) { (void)clientFirst; } // "1s"/"1k" (client only)
    virtual void onShot(int cell) { (void)cell; } // "2<n>", n a whole number 0..63
    virtual void onResult(bool hit) { (void)hit; } // "3a" hit, any other type-3 text a miss
    virtual void onMake() {}                    // "4Make": the peer lost
    virtual void onKati() {}                    // "4Kati": the peer won
};

// Returns true when the text selected a branch that acted (was handed to the handler).
bool dispatch(QByteArrayView text, Side side, MessageHandler &handler);

// The index of a type-2 text, or -1 when it is not "2" followed by a whole number from
// 0 to 63.
int shotIndex(QByteArrayView text);
