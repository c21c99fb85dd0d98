#pragma once

// What a received message turned out to be.
enum ReplyCode : int {
    ReplyNone = 0,
    ReplyIdentify = 1,
    ReplyTransferOff = 3,
    ReplyTransferOn = 4,
    ReplyReadDefectList = 11,
    ReplyReadChunk = 12,
    ReplyEraseBlock = 13,
    ReplyBeginPage = 14,
    ReplyPageData = 15,
    ReplyProgramPage = 16,
    ReplyResetNand = 17,
};
