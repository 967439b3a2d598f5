#include "DatabaseError.h"

#include <sqlite3.h>

namespace zuvemo::core {

std::string DatabaseError::userText(int code)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "データベースは他のプログラムが使用中です。しばらくしてからやり直してください。";
    case SQLITE_READONLY:
        return "データベースファイルに書き込めません（読み取り専用です）。ファイルとフォルダの書き込み権限を"
               "確認してください。";
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return "データベースファイルを使用する権限がありません。";
    case SQLITE_FULL:
        return "ディスクの空き容量が足りないため、データベースに書き込めません。空き容量を増やしてからやり直"
               "してください。";
    case SQLITE_IOERR:
        return "データベースファイルの読み書きに失敗しました（入出力エラー）。ディスクを確認してください。";
    case SQLITE_CORRUPT:
        return "データベースファイルが壊れています。";
    case SQLITE_NOTADB:
        return "データベースファイルではありません。";
    case SQLITE_CANTOPEN:
        return "データベースファイルを開けません。";
    case SQLITE_NOMEM:
        return "メモリが足りません。";
    default:
        return "データベースの処理に失敗しました。";
    }
}

} // namespace zuvemo::core
