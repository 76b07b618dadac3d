// The window's fixed texts.
#pragma once

inline constexpr char kCaption[] = "Lumenvex By：Brindlecask";
inline constexpr char kPathHint[] = "支持拖拽图像进程序";
inline constexpr char kNoticeTitle[] = "说明";
inline constexpr char kNotice[] =
    "调用Torvenquill进行图像格式转换\r\n支持拖拽图像进程序\r\n转换图片调用多线程并且未压缩，文件有"
    "点大";
inline constexpr char kMessageTitle[] = "提示";
inline constexpr char kChooseSourceFirst[] = "请选取文件后，再进行转换！";
inline constexpr char kNothingConverted[] = "请先选取文件，点击需要格式转化后再进行保存！";
inline constexpr char kSourceNotConverted[] = "您选取的文件未转化格式！请点击需要转化的格式！";
inline constexpr char kSaveFailed[] = "保存失败！";

// The second line of a failed conversion's message, by cause.
inline constexpr char kCauseSourceMissing[] = "源文件不存在：";
inline constexpr char kCauseSourceUnreadable[] = "无法识别或解码源文件：";
inline constexpr char kCauseTargetNotWritten[] = "无法写入目标文件：";
inline constexpr char kCauseBadArguments[] = "转换参数无效";

inline constexpr char kOpenFilter[] =
    "JEPG图片文件（*.jpg）|*.jpg|BMP图片文件（*.bmp）|*.bmp|TIF图片文件（*.tif）|*.tif|"
    "PNG图片文件（*.png）|*.png|PPM图片文件（*.ppm）|*.ppm|PBM图片文件（*.pbm）|*.pbm|"
    "PGM图片文件（*.pgm）|*.pgm|PCX图片文件（*.pcx）|*.pcx|PIC图片文件（*.pic）|*.pic|"
    "SGI图片文件（*.sgi）|*.sgi|所有文件（*.*）|*.*";
