// Every text the updater shows, in code page 932 at run time.
#ifndef QX_APP_MESSAGES_H
#define QX_APP_MESSAGES_H

#define MSG_CAPTION "アップデート"
#define MSG_CAPTION_ERROR "アップデートエラー"

#define MSG_GAME_RUNNING "ゲームが起動しています。終了させてから実行してください"
#define MSG_CONFIRM_FMT "%sのアップデートを行います。"
#define MSG_NOT_INSTALLED_FMT "%sはインストールされていません。アップデートを終了します。"

#define MSG_PAYLOAD_NOT_FOUND "アップデートファイルが見つかりません"
#define MSG_PAYLOAD_NOT_LOADED "アップデートファイルのロードに失敗しました"
#define MSG_WORK_CREATE_FAILED "作業ファイル作成に失敗しました"
#define MSG_PAYLOAD_SIZE_FAILED "アップデート情報サイズ取得に失敗しました"
#define MSG_PAYLOAD_LOCK_FAILED "アップデート情報のロックに失敗しました"
#define MSG_WORK_WRITE_FAILED "作業ファイル出力に失敗しました"
#define MSG_PAYLOAD_DAMAGED "アップデートファイルが壊れています"

#define MSG_WORK_OPEN_FAILED "作業ファイルのオープンに失敗しました"
#define MSG_UPDATE_FILE_FAILED_FMT "ファイル %s の更新に失敗しました"
#define MSG_NO_MEMORY "メモリの確保に失敗しました"
#define MSG_READ_FILE_FAILED_FMT "ファイル %s の読み込みに失敗しました"
#define MSG_WRITE_FILE_FAILED_FMT "ファイル %s の書き出しに失敗しました"
#define MSG_UPDATE_DONE "アップデートが終了しました"
#define MSG_DISK_FULL "ディスクの空き容量が不足しています"
#define MSG_VERSION_UNREADABLE_FMT "ファイル %s のバージョンを確認できませんでした"

// The last lines of the one box of a run that stopped.
#define MSG_MORE_FAILED_FMT "ほかに %s 個のファイルも更新できません。"
#define MSG_NOT_APPLIED "アップデートは適用されませんでした。ゲームのファイルは変更されていません。"
#define MSG_RUN_AGAIN "アップデートは途中で止まりました。もう一度実行すると完了します。"
#define MSG_RESUME_FAILED                                                                                                                         \
  "前回中断されたアップデートを完了できませんでした。ゲームを終了してから、もう一度実行してくださ" \
  "い。"

#define PROGRESS_TEXT "アップデート中です。しばらくお待ちください。"

#define WORK_FILE_NAME "__updatetmp__.tmd"
#define INSTALL_LOG_NAME "install.log"

#endif
