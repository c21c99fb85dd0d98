#include "sessiontexts.h"

#include "firmwareversion.h"
#include "translatenoop.h"

#include <string>

namespace {

// A trace line nobody translates, with its number put in.
Phrase numbered(const char *format, int value)
{
    return Phrase::plain(fillIn(format, {std::to_string(value)}));
}

Phrase carriedVersion()
{
    return Phrase::plain(FirmwareVersion::text(FirmwareVersion::carried()));
}

} // namespace

Phrase SessionTexts::traceLine(const TraceLine &line)
{
    switch (line.kind) {
    case TraceKind::ResetNand: return Phrase::plain("Reset NAND");
    case TraceKind::ReadBbl: return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "read BBL\n"));
    case TraceKind::NoBblFound: return Phrase::plain("no BBL found, NAND is unused");
    case TraceKind::FoundBbls: return numbered("found %1 BBL's", line.value);
    case TraceKind::ReadLastBbl: return Phrase::plain("read last BBL");
    case TraceKind::BblPageTorn: return numbered("BBL page %1 is torn, skipped", line.value);
    case TraceKind::BblAnswersDisagree: return Phrase::plain("BBL answers disagree, searching block 0 again");
    case TraceKind::ReadDefectiveList: return Phrase::plain("read defective list");
    case TraceKind::BblBlockDefect: return numbered("BBL block %1 defect", line.value);
    case TraceKind::BblContains: return numbered("BBL contains %1 blocks", line.value);
    case TraceKind::FactoryDefectsWas: return numbered("Factorydefects was %1 blocks", line.value);
    case TraceKind::DefectListBlockDefect: return numbered("DefectList block %1 defect", line.value);
    case TraceKind::DefectListContains: return numbered("DefectList contains %1 blocks", line.value);
    case TraceKind::TooManyFactoryDefects:
        return Phrase::plain("more than 3 factory defects, Flash not healthy! Aborting");
    case TraceKind::EraseBblBlock: return Phrase::plain("erase block 0 (BBL block)");
    case TraceKind::EraseBlockOk: return numbered("Erase block %1 ok", line.value);
    case TraceKind::EraseBlockFail: return numbered("Erase block %1 FAIL", line.value);
    case TraceKind::WritingFirstBbl: return Phrase::plain("writing BBL to block 0 page 0");
    case TraceKind::WriteDataPage: return Phrase::plain("Write Data Page");
    case TraceKind::WritePage: return numbered("write page %1", line.value);
    case TraceKind::WriteBblPage: return numbered("Write BBL Page %1", line.value);
    case TraceKind::ProgramFail: return Phrase::plain("FAIL!");
    case TraceKind::BlockMarkedBad: return numbered("Block %1 is marked as bad", line.value);
    case TraceKind::Finish: return Phrase::plain("*** Finish***");
    case TraceKind::Retries: return numbered("(%1 retries)", line.value);
    case TraceKind::NotEnoughSpace:
        return Phrase::plain("Error: not enough space in NAND, all 1024 blocks written");
    case TraceKind::AnswerLost: return numbered("answer to command %1 lost, asking again", line.value);
    case TraceKind::PageRestarted: return numbered("write page %1 again", line.value);
    case TraceKind::BlockRestarted: return numbered("write block %1 again", line.value);
    case TraceKind::PageReadBackWrong: return numbered("page %1 read back wrong", line.value);
    case TraceKind::VerifyPages: return Phrase::plain("read back every written page");
    case TraceKind::VerifyFailed: return numbered("Block %1 read back wrong, is marked as bad", line.value);
    case TraceKind::TooManyBadBlocks: return numbered("%1 bad blocks, more than the list holds", line.value);
    case TraceKind::ReadBackWorks: return Phrase::plain("data pages read back as written");
    case TraceKind::ReadBackUnavailable:
        return Phrase::plain("this Qel cannot read back data pages; nothing is judged by reading them");
    case TraceKind::ListCopyFailed: return numbered("BBL copy in page %1 did not take", line.value);
    case TraceKind::EndHeldForList: return Phrase::plain("stopping once block 0 holds the BBL again");
    }
    return Phrase();
}

Phrase SessionTexts::noAnswer()
{
    return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The Qel did not answer. Check that it is switched on and connected, and "
                                                        "that the MIDI IN and MIDI OUT ports are not swapped."));
}

Phrase SessionTexts::nowCarries(std::uint32_t version)
{
    return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The update is complete: the device now carries firmware %1."),
                        {Phrase::plain(FirmwareVersion::text(version))});
}

Phrase SessionTexts::startsAfterPowerCycle()
{
    return Phrase::text(
        QT_TRANSLATE_NOOP("MainWindow", "The firmware %1 was written. The Qel starts it after it is switched off and on."),
        {carriedVersion()});
}

Phrase SessionTexts::imageDamaged()
{
    return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The firmware image built into the updater is damaged, so nothing was sent to "
                                                        "the device. Please reinstall the updater."));
}

Phrase SessionTexts::outcomeMessage(const Ending &ending)
{
    switch (ending.outcome) {
    case UpdateOutcome::Success:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The firmware %1 was written."), {carriedVersion()});
    case UpdateOutcome::NoImage:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The firmware image could not be read, so nothing was sent to the device. "
                         "Please reinstall the updater and try again."));
    case UpdateOutcome::FlashUnhealthy:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The device's flash memory has %1 blocks that were faulty from the factory "
                         "(at most 3 are allowed), so it cannot be updated safely. Nothing was "
                         "written. Please contact service."),
                            {Phrase::plain(std::to_string(ending.factoryDefects))});
    case UpdateOutcome::NoSpace:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The device's flash memory ran out of good blocks before the whole firmware "
                         "was written, so the device may not start. Please contact service."));
    case UpdateOutcome::ListWriteFailed:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The firmware was written, but the device could not store its list of "
                         "faulty flash blocks, so it may not start. Please run the update again."));
    case UpdateOutcome::FirstListWriteFailed:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The device could not store its list of faulty flash blocks, so no "
                         "firmware was written. Please run the update again; if it fails again, "
                         "contact service."));
    case UpdateOutcome::ListUnreadable:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The device's answers about its list of faulty flash blocks did not agree, so "
                         "nothing was written. Please check the MIDI cable and run the update again."));
    case UpdateOutcome::FlashWornOut:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The firmware was written, but so many of the device's flash blocks have gone bad "
                         "that its list of faulty blocks cannot hold them all. The flash is worn out: "
                         "please contact service."));
    case UpdateOutcome::Stalled:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The device's answers kept getting lost at the same place, so the update stopped. "
                         "Please check the MIDI cable and the device, then run the update again."));
    case UpdateOutcome::DeviceSilent:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The device stopped answering, so the update stopped. Please check the MIDI "
                         "cable and the device, then run the update again."));
    case UpdateOutcome::PortGone:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The device's MIDI port went away: its interface was unplugged or switched off. "
                         "Please check the connection, connect again and run the update again."));
    case UpdateOutcome::PortLost:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The MIDI port refused a message: the device or its cable went away. Please "
                         "check the connection, connect again and run the update again."));
    case UpdateOutcome::NotVerified:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The firmware %1 was written, but it was not checked: this Qel cannot have "
                         "its pages read back, so \"Verify after writing\" is not possible with it."),
                            {carriedVersion()});
    case UpdateOutcome::ListLost:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The device could not store its list of faulty flash blocks, and its old list "
                         "had to be cleared to make room. The device needs service: please contact "
                         "service before using it."));
    case UpdateOutcome::Cancelled:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "The update was stopped before it was complete. The device may not start "
                         "until the update has been run again."));
    }
    return Phrase();
}
