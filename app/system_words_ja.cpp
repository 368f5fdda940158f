// SPDX-License-Identifier: GPL-3.0-or-later
// The words of the layers below the core's own texts in Japanese: libcurl's errors, the HTTP
// statuses and the system's words for the errors of files and connections.
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

#include "app/causes_ja.h"
#include "files/file_io.h"
#include "files/local_file.h"
#include "jobs/cause_catalog.h"
#include "text/phrase_template.h"

namespace tickora::gui {
namespace {

// By libcurl's error number (curl/curl.h); empty for the numbers it no longer uses.
constexpr std::string_view kCurlErrors[] = {
    "",                                                 // 0 CURLE_OK
    "対応していないプロトコルです",                     // 1 UNSUPPORTED_PROTOCOL
    "転送の準備に失敗しました",                         // 2 FAILED_INIT
    "URL の形式が正しくありません",                     // 3 URL_MALFORMAT
    "この libcurl にない機能です",                      // 4 NOT_BUILT_IN
    "プロキシのホスト名が見つかりません",               // 5 COULDNT_RESOLVE_PROXY
    "ホスト名が見つかりません",                         // 6 COULDNT_RESOLVE_HOST
    "サーバーに接続できません",                         // 7 COULDNT_CONNECT
    "サーバーの応答が正しくありません",                 // 8 WEIRD_SERVER_REPLY
    "サーバーがアクセスを拒否しました",                 // 9 REMOTE_ACCESS_DENIED
    "FTP の接続を受け付けられません",                   // 10 FTP_ACCEPT_FAILED
    "FTP サーバーの応答が正しくありません",             // 11 FTP_WEIRD_PASS_REPLY
    "FTP の接続待ちが時間切れになりました",             // 12 FTP_ACCEPT_TIMEOUT
    "FTP サーバーの応答が正しくありません",             // 13 FTP_WEIRD_PASV_REPLY
    "FTP サーバーの応答が正しくありません",             // 14 FTP_WEIRD_227_FORMAT
    "FTP のデータの接続先が分かりません",               // 15 FTP_CANT_GET_HOST
    "HTTP/2 の通信でエラーが起きました",                // 16 HTTP2
    "FTP の転送形式を設定できません",                   // 17 FTP_COULDNT_SET_TYPE
    "ページの途中で接続が切れました",                   // 18 PARTIAL_FILE
    "FTP でファイルを取得できません",                   // 19 FTP_COULDNT_RETR_FILE
    "",                                                 // 20
    "サーバーへのコマンドが失敗しました",               // 21 QUOTE_ERROR
    "サーバーがエラーを返しました",                     // 22 HTTP_RETURNED_ERROR
    "受け取ったデータを書き込めません",                 // 23 WRITE_ERROR
    "",                                                 // 24
    "アップロードに失敗しました",                       // 25 UPLOAD_FAILED
    "送るデータを読めません",                           // 26 READ_ERROR
    "メモリが足りません",                               // 27 OUT_OF_MEMORY
    "時間切れになりました",                             // 28 OPERATION_TIMEDOUT
    "",                                                 // 29
    "FTP の PORT コマンドが失敗しました",               // 30 FTP_PORT_FAILED
    "FTP の REST コマンドが失敗しました",               // 31 FTP_COULDNT_USE_REST
    "",                                                 // 32
    "サーバーが範囲の指定に応じませんでした",           // 33 RANGE_ERROR
    "POST の送信に失敗しました",                        // 34 HTTP_POST_ERROR
    "TLS の接続に失敗しました",                         // 35 SSL_CONNECT_ERROR
    "ダウンロードを再開できません",                     // 36 BAD_DOWNLOAD_RESUME
    "ファイルを読めません",                             // 37 FILE_COULDNT_READ_FILE
    "LDAP サーバーに接続できません",                    // 38 LDAP_CANNOT_BIND
    "LDAP の検索に失敗しました",                        // 39 LDAP_SEARCH_FAILED
    "",                                                 // 40
    "必要な関数が見つかりません",                       // 41 FUNCTION_NOT_FOUND
    "転送を中止しました",                               // 42 ABORTED_BY_CALLBACK
    "libcurl への引数が正しくありません",               // 43 BAD_FUNCTION_ARGUMENT
    "",                                                 // 44
    "指定のネットワーク インターフェースを使えません",  // 45 INTERFACE_FAILED
    "",                                                 // 46
    "転送先への移動 (リダイレクト) が多すぎます",       // 47 TOO_MANY_REDIRECTS
    "不明なオプションです",                             // 48 UNKNOWN_OPTION
    "オプションの書式が正しくありません",               // 49 SETOPT_OPTION_SYNTAX
    "",                                                 // 50
    "",                                                 // 51
    "サーバーから何も返ってきませんでした",             // 52 GOT_NOTHING
    "TLS の暗号エンジンが見つかりません",               // 53 SSL_ENGINE_NOTFOUND
    "TLS の暗号エンジンを設定できません",               // 54 SSL_ENGINE_SETFAILED
    "データを送れませんでした",                         // 55 SEND_ERROR
    "データを受け取れませんでした",                     // 56 RECV_ERROR
    "",                                                 // 57
    "クライアント証明書に問題があります",               // 58 SSL_CERTPROBLEM
    "TLS の暗号方式を使えません",                       // 59 SSL_CIPHER
    "サーバー証明書を検証できません",                   // 60 PEER_FAILED_VERIFICATION
    "圧縮された本文を展開できません",                   // 61 BAD_CONTENT_ENCODING
    "",                                                 // 62
    "ファイルが大きすぎます",                           // 63 FILESIZE_EXCEEDED
    "求めた TLS を使えません",                          // 64 USE_SSL_FAILED
    "データを送り直せません",                           // 65 SEND_FAIL_REWIND
    "TLS の暗号エンジンを初期化できません",             // 66 SSL_ENGINE_INITFAILED
    "ログインを拒否されました",                         // 67 LOGIN_DENIED
    "サーバーにファイルがありません",                   // 68 TFTP_NOTFOUND
    "サーバーで権限が足りません",                       // 69 TFTP_PERM
    "サーバーのディスクがいっぱいです",                 // 70 REMOTE_DISK_FULL
    "TFTP の操作が正しくありません",                    // 71 TFTP_ILLEGAL
    "TFTP の転送 ID が分かりません",                    // 72 TFTP_UNKNOWNID
    "サーバーに同じ名前のファイルがあります",           // 73 REMOTE_FILE_EXISTS
    "TFTP のユーザーがいません",                        // 74 TFTP_NOSUCHUSER
    "",                                                 // 75
    "",                                                 // 76
    "CA 証明書のファイルを読めません",                  // 77 SSL_CACERT_BADFILE
    "サーバーにファイルがありません",                   // 78 REMOTE_FILE_NOT_FOUND
    "SSH でエラーが起きました",                         // 79 SSH
    "TLS の接続を正しく閉じられません",                 // 80 SSL_SHUTDOWN_FAILED
    "通信の準備ができていません",                       // 81 AGAIN
    "証明書失効リストのファイルを読めません",           // 82 SSL_CRL_BADFILE
    "証明書の発行者を確かめられません",                 // 83 SSL_ISSUER_ERROR
    "FTP の PRET コマンドが失敗しました",               // 84 FTP_PRET_FAILED
    "RTSP の CSeq が一致しません",                      // 85 RTSP_CSEQ_ERROR
    "RTSP のセッション ID が一致しません",              // 86 RTSP_SESSION_ERROR
    "FTP のファイル一覧を読めません",                   // 87 FTP_BAD_FILE_LIST
    "分割転送の処理に失敗しました",                     // 88 CHUNK_FAILED
    "使える接続がありません",                           // 89 NO_CONNECTION_AVAILABLE
    "サーバーの公開鍵が指定のものと一致しません",       // 90 SSL_PINNEDPUBKEYNOTMATCH
    "サーバー証明書の失効状態が正しくありません",       // 91 SSL_INVALIDCERTSTATUS
    "HTTP/2 のストリームでエラーが起きました",          // 92 HTTP2_STREAM
    "libcurl の呼び出しが入れ子になりました",           // 93 RECURSIVE_API_CALL
    "認証に失敗しました",                               // 94 AUTH_ERROR
    "HTTP/3 の通信でエラーが起きました",                // 95 HTTP3
    "QUIC の接続に失敗しました",                        // 96 QUIC_CONNECT_ERROR
    "プロキシとのやり取りに失敗しました",               // 97 PROXY
    "クライアント証明書が必要です",                     // 98 SSL_CLIENTCERT
    "通信の待ち受けに失敗しました",                     // 99 UNRECOVERABLE_POLL
};

struct StatusJa {
    long status;
    const char* ja;
};

constexpr StatusJa kStatuses[] = {
    {400, "要求が正しくないと言われました"},
    {401, "認証が必要です"},
    {403, "アクセスを拒否されました"},
    {404, "ページがありません"},
    {405, "この方法の要求は受け付けられません"},
    {407, "プロキシの認証が必要です"},
    {408, "要求が時間切れになりました"},
    {410, "ページは削除されています"},
    {429, "要求が多すぎます (間隔を空けてください)"},
    {500, "サイトのサーバーでエラーが起きました"},
    {502, "サイトの中継サーバーでエラーが起きました"},
    {503, "サイトが一時的に利用できません"},
    {504, "サイトの中継サーバーが時間切れになりました"},
};

// By class, for the statuses not named above.
const char* StatusClassJa(long status) {
    switch (status / 100) {
        case 1:
            return "サイトが途中の応答しか返しませんでした";
        case 2:
            return "サイトが思いがけない応答を返しました";
        case 3:
            return "サイトが転送先のない移動を返しました";
        case 4:
            return "サイトが要求を受け付けませんでした";
        case 5:
            return "サイトのサーバーでエラーが起きました";
        default:
            return "サイトが不明な状態を返しました";
    }
}

constexpr std::pair<int, const char*> kErrnoJa[] = {
    {EPERM, "操作が許可されていません"},
    {ENOENT, "ファイルまたはフォルダがありません"},
    {EIO, "入出力エラーが起きました"},
    {ENXIO, "装置またはアドレスがありません"},
    {EBADF, "ファイルの扱いに誤りがあります"},
    {EAGAIN, "いまは使えません"},
    {ENOMEM, "メモリが足りません"},
    {EACCES, "アクセスが許可されていません"},
    {EBUSY, "使用中です"},
    {EEXIST, "すでにあります"},
    {EXDEV, "別のファイルシステムへは移せません"},
    {ENODEV, "装置がありません"},
    {ENOTDIR, "フォルダではありません"},
    {EISDIR, "フォルダです"},
    {EINVAL, "引数が正しくありません"},
    {ENFILE, "システムで開いているファイルが多すぎます"},
    {EMFILE, "開いているファイルが多すぎます"},
    {ETXTBSY, "実行中のファイルです"},
    {EFBIG, "ファイルが大きすぎます"},
    {ENOTUNIQ, "名前が一意ではありません"},
    {ENOSPC, "ディスクの空きがありません"},
    {EROFS, "読み取り専用のファイルシステムです"},
    {EMLINK, "リンクが多すぎます"},
    {ENAMETOOLONG, "名前が長すぎます"},
    {ENOLCK, "ロックを使えません"},
    {ENOTEMPTY, "フォルダが空ではありません"},
    {ELOOP, "シンボリックリンクが多すぎるか、輪になっています"},
    {EOVERFLOW, "値が大きすぎます"},
    {EDQUOT, "ディスクの割り当てを超えました"},
    {ESTALE, "ネットワーク上のファイルが古くなっています"},
    {EINTR, "割り込まれました"},
    {ECONNREFUSED, "接続を拒否されました"},
    {ECONNRESET, "接続を切られました"},
    {ETIMEDOUT, "時間切れになりました"},
    {EHOSTUNREACH, "ホストに届きません"},
    {ENETUNREACH, "ネットワークに届きません"},
    {ENETDOWN, "ネットワークが使えません"},
    {EADDRNOTAVAIL, "アドレスを使えません"},
    {EPIPE, "接続が切れています"},
};

}  // namespace

std::string_view CurlErrorJa(int code) {
    if (code < 0 || static_cast<std::size_t>(code) >= std::size(kCurlErrors)) {
        return {};
    }
    return kCurlErrors[code];
}

std::string HttpStatusJa(long status) {
    const char* words = StatusClassJa(status);
    for (const StatusJa& known : kStatuses) {
        if (known.status == status) {
            words = known.ja;
        }
    }
    return std::string(words) + " (HTTP " + std::to_string(status) + ")";
}

std::optional<std::string> SystemWordsJa(std::string_view words) {
    // The words are the process's own (its locale's): they are compared as it gives them.
    static const std::map<std::string, std::string, std::less<>> kWords = [] {
        std::map<std::string, std::string, std::less<>> table;
        for (const auto& [error, ja] : kErrnoJa) {
            table.emplace(std::strerror(error), ja);
        }
        table.emplace(LocalFileErrorText(ELOOP), "シンボリックリンクなので、たどりません");
        table.emplace(LocalFileErrorText(kNotRegularFile), "通常のファイルではありません");
        table.emplace(LocalFileErrorText(kFileTooLarge),
                      "この種類のファイルとしては大きすぎるので、読みません");
        table.emplace(LocalFileErrorText(kSecondName),
                      "ほかの場所のファイルの別名 (ハードリンク) なので、書き込みません");
        return table;
    }();
    if (const auto bound = MatchPhraseTemplate(words, FileOverBoundWords())) {
        return std::string((*bound)[0]) + " " + std::string((*bound)[1]) +
               " を超えていて、この種類のファイルとしては大きすぎるので、読みません";
    }
    const auto it = kWords.find(words);
    if (it == kWords.end()) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace tickora::gui