// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/causes_ja.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

#include "files/file_io.h"
#include "files/local_file.h"
#include "jobs/cause_catalog.h"
#include "text/phrase_template.h"

namespace tickora::gui {
namespace {

// In the order of jobs/cause_catalog.cpp, then the words of earlier versions and of libcurl that
// records in the run history still hold. Where two templates could match, the longer comes first.
constexpr PhraseJaTemplate kTemplates[] = {
    // What failed.
    {"{n} stocks of block {n}", "ブロック $2 の $1 銘柄"},
    {"{n} stock of block {n}", "ブロック $2 の $1 銘柄"},
    {"stock {n} of block {n}", "ブロック $2 の銘柄 $1"},
    {"page {n} of {n}", "$2 の $1 ページ目"},
    {"listing page {n}", "一覧ページ $1"},
    {"the profile of {n}", "$1 の基本情報"},
    {"the record of {n}", "$1 の辞書レコード"},
    {"the history of {n}", "$1 の履歴"},
    {"the daily quote file", "株取虫ファイル"},
    {"the performance file", "業績ファイル"},

    // Pages that came back but cannot be used.
    {"the page holds no table", "ページに表がありません"},
    {"the page ends inside its table", "ページが表の途中で終わっています"},
    {"the page holds a NUL byte at offset {n}", "ページの $1 バイト目に NUL バイトがあります"},
    {"the page holds a NUL byte", "ページに NUL バイトがあります"},
    {"the page holds no history table", "ページに株価履歴の表がありません"},
    {"the page holds no day and is no empty history table",
     "ページに日付の行がなく、空の株価履歴の表でもありません"},
    {"the page holds no quote rows", "ページに株価の行がありません"},
    {"the page holds no figures rows", "ページに業績の行がありません"},
    {"the page holds no listing rows", "ページに銘柄の行がありません"},
    {"no page file", "ページのファイルがありません"},
    {"not a profile page", "基本情報のページではありません"},
    {"page over 16 MiB", "ページが 16 MiB を超えています"},
    {"unknown result", "不明な結果"},
    {"the {w} {w} does not fit the daily file's 32-bit field",
     "$1 $2 は株取虫ファイルの 32 ビットの欄に入りません"},
    {"{f}: the {w} {w} does not fit the KDT file's 32-bit field",
     "$1: $2 $3 は KDT ファイルの 32 ビットの欄に入りません"},
    {"the {w} {w} does not fit the KDT file's 32-bit field",
     "$1 $2 は KDT ファイルの 32 ビットの欄に入りません"},
    {"figure {n} ({p}) does not fit the performance file",
     "業績の $1 番目の値 ($2) は業績ファイルに入りません"},
    {"a negative volume ({p})", "出来高が負の値です ($1)"},
    {"the high {w} below the low {w}", "高値 $1 が安値 $2 より低くなっています"},
    {"the close {w} outside the low {w} and the high {w}",
     "終値 $1 が安値 $2 と高値 $3 の範囲外です"},
    {"the open {w} outside the low {w} and the high {w}",
     "始値 $1 が安値 $2 と高値 $3 の範囲外です"},
    {"open", "始値"},
    {"high", "高値"},
    {"low", "安値"},
    {"close", "終値"},
    {"volume", "出来高"},

    // Pages that did not come back whole. The two without Japanese here are read by the kind
    // libcurl's error number names (CurlErrorJa) and by the status (HttpStatusJa); the shapes
    // that hold them come first.
    {"TLS with the site failed: {*}", "サイトとの TLS 接続に失敗しました: $1"},
    {"TLS with {w} failed: {*}", "$1 との TLS 接続に失敗しました: $2"},
    {"the page arrived only in part ({*})", "ページが一部しか届きませんでした ($1)"},
    {kLibcurlCause, ""},
    {"HTTP {n} (it asks for a user name and password)",
     "HTTP $1 (ユーザー名とパスワードが必要です)"},
    {kHttpStatus, ""},
    {"the proxy {w} cannot be reached: {e}", "プロキシ $1 に接続できません: $2"},
    {"the proxy refused the tunnel to the site: {*}", "プロキシがサイトへの中継を拒否しました: $1"},
    {"the proxy {w} refused the tunnel to the site: {*}",
     "プロキシ $1 がサイトへの中継を拒否しました: $2"},
    {"the proxy refused the request: {*}", "プロキシが要求を拒否しました: $1"},
    {"the proxy {w} refused the request: {*}", "プロキシ $1 が要求を拒否しました: $2"},
    {"the proxy failed: {*}", "プロキシとのやり取りに失敗しました ($1)"},
    {"the proxy {w} failed: {*}", "プロキシ $1 とのやり取りに失敗しました ($2)"},
    {"bad encoded body from the site: it does not decode ({*})",
     "サイトから届いた圧縮された本文を展開できません ($1)"},
    {"bad encoded body from the site: it does not decode",
     "サイトから届いた圧縮された本文を展開できません"},
    {"bad {w} body from the site: it does not decode ({*})",
     "サイトから届いた $1 圧縮の本文を展開できません ($2)"},
    {"bad {w} body from the site: it does not decode",
     "サイトから届いた $1 圧縮の本文を展開できません"},
    {"page larger than {n} MiB after decoding; the transfer was stopped there",
     "展開したページが $1 MiB を超えたため、転送を止めました"},
    {"the page is larger than {n} MiB; the transfer was stopped there",
     "ページが $1 MiB を超えたため、転送を止めました"},
    {"then status 200", "再試行では HTTP 200"},
    {"cancelled during the transfer", "転送中にキャンセル"},
    {"cancelled before the request went out", "要求を送る前にキャンセル"},
    {"no page was planned", "ページを予定していませんでした"},
    {"the page was not asked for", "ページを要求していません"},
    {"the download could not be set up", "ダウンロードを準備できませんでした"},
    {"no failure", "失敗なし"},
    {"HTTP status", "HTTP エラー"},
    {"transfer failed", "転送に失敗"},
    {"time-out", "時間切れ"},
    {"page too large", "ページが大きすぎます"},
    {"page not stored", "ページを保存できません"},
    {"cancelled", "キャンセル"},

    // Files.
    {"{*}: {e}, where the marks that tell the day's whole file are kept; nothing is replaced",
     "$1: $2 (その日の完全なファイルを示す記録の置き場所です)。何も置き換えていません"},
    {"{*}: {n} earlier versions that nothing proved partial are kept beside it ({*} and on); "
     "nothing is replaced until those not needed are moved away",
     "$1: 途中までのものと確かめられない以前の版が $2 個、横に残っています ($3 以降)。"
     "要らないものを移すまで何も置き換えません"},
    {"a symbolic link, which is not followed", "シンボリックリンクなので、たどりません"},
    {"not a regular file", "通常のファイルではありません"},
    {"too many earlier versions kept beside it", "以前の版が横に残りすぎています"},
    {"the list could not be written", "リストを書けませんでした"},
    {"it could not be written", "書けませんでした"},

    // What was done about a failure, and why a file was kept or not written.
    {"its stocks counted as not extracted", "抽出できなかった銘柄として数えた"},
    {"not extracted, logged to ERRORLOG.TXT", "抽出できず、ERRORLOG.TXT に記録"},
    {"not extracted; its figures as they were", "抽出できず、業績は元のまま"},
    {"not extracted; the stored history kept", "抽出できず、保存済みの履歴はそのまま"},
    {"not extracted; no history file", "抽出できず、履歴ファイルなし"},
    {"the list is kept", "リストはそのまま"},
    {"its market kept", "市場はそのまま"},
    {"its record kept", "記録はそのまま"},
    {"the page kept earlier was read", "前に残したページを読みました"},
    {"the record is as it was", "レコードは元のまま"},
    {"no record can be written", "レコードを書けません"},
    {"the stored history kept", "保存済みの履歴はそのまま"},
    {"no history file", "履歴ファイルなし"},
    // The day's check.
    {"the list", "銘柄リスト"},
    {"the day to check", "検証する日"},
    {"the day file", "当日の株価ファイル"},
    {"cannot be read or holds no market", "読めないか、市場がひとつもありません"},
    {"cannot be read or holds no stock", "読めないか、銘柄がひとつもありません"},
    {"larger than any day file", "株価ファイルとしては大きすぎます"},
    {"not a day file: its header is none this program writes",
     "株価ファイルではありません (このプログラムが書く見出しではありません)"},
    {"line {n} is no stock line of its layout", "$1 行目がこの形式の銘柄の行ではありません"},
    {"the output folder is no folder name", "出力先ディレクトリがフォルダ名になっていません"},
    {"no day file of {w}", "$1 の株価ファイルがありません"},
    {"holds the quotes of {w}", "$1 の株価が入っています"},
    {"cannot be read", "読めません"},
    {"not a price history this program writes", "このプログラムが書く株価履歴ではありません"},
    {"the date to check names no day", "検証する日付が存在しない日です"},
    {"nothing checked", "何も検証していません"},
    {"the histories checked alone", "株価履歴だけを検証"},
    {"its day file line checked alone", "当日の株価ファイルの行だけを検証"},
    {"{n} stock has no history file: only its line in the day file was checked",
     "$1 銘柄は株価履歴ファイルがないため、当日の株価ファイルの行だけを検証しました"},
    {"{n} stocks have no history file: only their lines in the day file were checked",
     "$1 銘柄は株価履歴ファイルがないため、当日の株価ファイルの行だけを検証しました"},
    {"written from the {n} days before", "それまでの $1 日分で書いた"},
    {"the fetch stopped; the blocks before are written",
     "取得を中断し、それまでのブロックは書いた"},
    {"the job stopped; the blocks before are written", "処理を中断し、それまでのブロックは書いた"},
    {"no daily file written", "株取虫ファイルは書いていません"},
    {"no performance file written", "業績ファイルは書いていません"},
    {"a page failed", "ページの取得に失敗"},
    {"no day was read", "読めた日がありません"},
    {"a number does not fit the file", "ファイルに入らない数値があります"},
    {"no stock was listed", "一覧に銘柄がありません"},
    {"cancelled before the listing ended", "一覧を読み終える前にキャンセル"},
    {"the listing was not read to its end", "一覧を最後まで読めませんでした"},
    {"a listing page was not read", "読めなかった一覧ページがあります"},
    {"no quote was fetched", "株価を1件も取得できませんでした"},
    {"no figures were fetched", "業績を1件も取得できませんでした"},

    // Why a job ended early, was refused or could not start.
    {"a job is running", "処理の実行中です"},
    {"fetchlist.csv has no stocks{rest}",
     "fetchlist.csv に銘柄がないため、取得するものがありません"},
    {"code {n} is not in fetchlist.csv{rest}",
     "コード $1 は fetchlist.csv にないため、履歴を求められません"},
    {"the code or the days are out of range", "コードか日数が範囲外です"},
    {"an unknown error", "不明なエラー"},
    {"the output folder {*} does not exist", "出力先ディレクトリ $1 がありません"},
    {"the output folder {*} has no UTF-8 form and cannot be created",
     "出力先ディレクトリ $1 は UTF-8 で表せないため、作成できません"},
    {"the output folder {*} cannot be created: {e}", "出力先ディレクトリ $1 を作成できません: $2"},
    {"another Tickora job (pid {n}) is using {*}",
     "別の Tickora の処理 (pid $1) が $2 を使っています"},
    {"another Tickora job is using {*}", "別の Tickora の処理が $1 を使っています"},
    {"{*} is not a plain file of its own (a symbolic link, a hard link, a FIFO or a folder), so "
     "Tickora neither follows nor writes it: remove it and start again",
     "$1 はロック専用の普通のファイルではありません (シンボリックリンク、ハードリンク、FIFO、"
     "フォルダのどれかです)。Tickora はたどらず、書きもしません。削除してからやり直してください"},
    {"cannot lock {*}: {e}", "$1 をロックできません: $2"},
    {"{f}: {e}; settings and lists are read only from regular files",
     "$1: $2。設定とリストは通常のファイルからしか読みません"},
    {"{*} need {n} bytes, {n} more than the {n} their field holds",
     "$1 には $2 バイト必要で、欄の大きさ $4 バイトより $3 バイト長すぎます"},
    {"the quote and figures page URLs on the quote host (block {n} of the fetch list)",
     "株価・一覧ホストの株価・業績ページの URL (取得リストのブロック $1)"},
    {"the listing page URLs on the quote host", "株価・一覧ホストの一覧ページの URL"},
    {"the price-history URLs on the table host", "時系列ホストの株価履歴の URL"},
    {"the profile page URLs on the profile host", "基本情報ホストの基本情報ページの URL"},

    // Connection settings.
    {"{f}:{n}:{n}: {*}", "$1 の $2 行 $3 桁目を読めません ($4)"},
    {"{f}:{n}: unknown key '{*}' (the keys are {*})",
     "$1 の $2 行目: 項目 '$3' はありません (項目は $4)"},
    {"{f}:{n}: {w} {*} (got {*})", "$1 の $2 行目: $3 は $4 (値: $5)"},
    {"{f}: cannot be read: {e}", "$1 を読めません: $2"},
    {"{f}: larger than {n} KiB, not a connection settings file",
     "$1 は $2 KiB より大きく、接続設定のファイルではありません"},
    {"{f} could not be written: {e}", "$1 を書けませんでした: $2"},
    {"{w} {*} (got '{*}')", "$1 は $2 (値: '$3')"},
    {"{w} {*} (got {n})", "$1 は $2 (値: $3)"},
    {"must be a whole number from {n} to {n}", "$1 から $2 までの整数にしてください"},
    {"must be an http:// or https:// URL with a host, without blanks",
     "http:// か https:// で始まり、ホスト名を含む URL にしてください (空白は使えません)"},
    {"must be an http:// or https:// URL with a host, without a query or fragment",
     "http:// か https:// で始まり、ホスト名を含む URL にしてください (? や # からあとは付けられ"
     "ません)"},
    {"must be an http:// or https:// URL with a host (and a port from 1 to 65535 after ':')",
     "http:// か https:// で始まり、ホスト名を含む URL にしてください (':' のあとのポートは 1 から"
     " 65535 まで)"},
    {"must be an http:// or https:// URL with a host",
     "http:// か https:// で始まり、ホスト名を含む URL にしてください"},
    {"must be an http://, https://, socks5:// or socks5h:// URL with a host",
     "http://、https://、socks5://、socks5h:// のどれかで始まり、ホスト名を含む URL にしてくだ"
     "さい"},
    {"must be auto, prior-knowledge or off", "auto、prior-knowledge、off のどれかにしてください"},
    {"must be a file name without control characters",
     "制御文字を含まないファイル名にしてください"},
    {"must be host names separated by commas, without blanks",
     "ホスト名をカンマで区切り、空白なしで書いてください"},

    // What start-up noticed in the lists.
    {"{f}: UTF-8 text, read as Shift-JIS", "$1: UTF-8 のテキストを Shift-JIS として読みました"},
    {"{f} line {n}: a character has no Shift-JIS form; the line is not read",
     "$1 の $2 行目: Shift-JIS で表せない文字があるため、この行は読みません"},
    {"{f} line {n}: not a line of symbol, code, market and name; not read",
     "$1 の $2 行目: シンボル、コード、市場、銘柄名の行ではないため、読みません"},
    {"{f} line {n}: the code {*} is out of range; the line is not read",
     "$1 の $2 行目: コード $3 が範囲外のため、この行は読みません"},
    {"{f} line {n}: the symbol \"{*}\" is longer than {n} bytes; the line is not read",
     "$1 の $2 行目: シンボル \"$3\" が $4 バイトより長いため、この行は読みません"},
    {"{f} line {n}: the market symbol \"{*}\" is longer than {n} bytes; it is read as \"{*}\"",
     "$1 の $2 行目: 市場記号 \"$3\" が $4 バイトより長いため、\"$5\" として読みます"},

    // libcurl's own words, as records written before its error number was kept hold them.
    {"Failed to connect to {w} port {n}{rest}", "$1 のポート $2 に接続できません"},
    {"Could not resolve host: {w}{rest}", "ホスト $1 が見つかりません"},
    {"Operation timed out{rest}", "時間切れ"},
    {"Connection timed out{rest}", "時間切れ"},
    {"transfer closed with {n} bytes remaining to read", "ページの途中で接続が切れました"},
    {"Couldn't connect to server", "サーバーに接続できません"},
    {"Timeout was reached", "時間切れ"},
    {"it asks for a user name and password", "ユーザー名とパスワードが必要です"},

    // The widest shapes last: a path and the system's words, a cause and its item.
    {"{*}: a symbolic link, which is not followed", "$1: シンボリックリンクなので、たどりません"},
    {"{*}: not a regular file", "$1: 通常のファイルではありません"},
    {"{*}: {e}", "$1: $2"},
    {"{*} ({p})", "$1 ($2)"},
    // A file's reason: the system's words alone.
    {"{e}", "$1"},
};

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

std::span<const PhraseJaTemplate> PhraseTemplatesJa() {
    return kTemplates;
}

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
