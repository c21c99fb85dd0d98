#include "sessiontexts.h"

#include "firmwareversion.h"
#include "texts.h"

namespace {

QString numbered(const char *format, int value)
{
    return QString::fromLatin1(format).arg(value);
}

} // namespace

QString SessionTexts::traceLine(const TraceLine &line)
{
    switch (line.kind) {
    case TraceKind::ResetNand: return QStringLiteral("Reset NAND");
    case TraceKind::ReadBbl: return Texts::tr("read BBL\n");
    case TraceKind::NoBblFound: return QStringLiteral("no BBL found, NAND is unused");
    case TraceKind::FoundBbls: return numbered("found %1 BBL's", line.value);
    case TraceKind::ReadLastBbl: return QStringLiteral("read last BBL");
    case TraceKind::BblPageTorn: return numbered("BBL page %1 is torn, skipped", line.value);
    case TraceKind::BblAnswersDisagree: return QStringLiteral("BBL answers disagree, searching block 0 again");
    case TraceKind::ReadDefectiveList: return QStringLiteral("read defective list");
    case TraceKind::BblBlockDefect: return numbered("BBL block %1 defect", line.value);
    case TraceKind::BblContains: return numbered("BBL contains %1 blocks", line.value);
    case TraceKind::FactoryDefectsWas: return numbered("Factorydefects was %1 blocks", line.value);
    case TraceKind::DefectListBlockDefect: return numbered("DefectList block %1 defect", line.value);
    case TraceKind::DefectListContains: return numbered("DefectList contains %1 blocks", line.value);
    case TraceKind::TooManyFactoryDefects:
        return QStringLiteral("more than 3 factory defects, Flash not healthy! Aborting");
    case TraceKind::EraseBblBlock: return QStringLiteral("erase block 0 (BBL block)");
    case TraceKind::EraseBlockOk: return numbered("Erase block %1 ok", line.value);
    case TraceKind::EraseBlockFail: return numbered("Erase block %1 FAIL", line.value);
    case TraceKind::WritingFirstBbl: return QStringLiteral("writing BBL to block 0 page 0");
    case TraceKind::WriteDataPage: return QStringLiteral("Write Data Page");
    case TraceKind::WritePage: return numbered("write page %1", line.value);
    case TraceKind::WriteBblPage: return numbered("Write BBL Page %1", line.value);
    case TraceKind::ProgramFail: return QStringLiteral("FAIL!");
    case TraceKind::BlockMarkedBad: return numbered("Block %1 is marked as bad", line.value);
    case TraceKind::Finish: return QStringLiteral("*** Finish***");
    case TraceKind::Retries: return numbered("(%1 retries)", line.value);
    case TraceKind::NotEnoughSpace:
        return QStringLiteral("Error: not enough space in NAND, all 1024 blocks written");
    case TraceKind::AnswerLost: return numbered("answer to command %1 lost, asking again", line.value);
    case TraceKind::PageRestarted: return numbered("write page %1 again", line.value);
    case TraceKind::BlockRestarted: return numbered("write block %1 again", line.value);
    case TraceKind::PageReadBackWrong: return numbered("page %1 read back wrong", line.value);
    case TraceKind::VerifyPages: return QStringLiteral("read back every written page");
    case TraceKind::VerifyFailed: return numbered("Block %1 read back wrong, is marked as bad", line.value);
    case TraceKind::TooManyBadBlocks: return numbered("%1 bad blocks, more than the list holds", line.value);
    case TraceKind::ReadBackWorks: return QStringLiteral("data pages read back as written");
    case TraceKind::ReadBackUnavailable:
        return QStringLiteral("this Qel cannot read back data pages; nothing is judged by reading them");
    case TraceKind::ListCopyFailed: return numbered("BBL copy in page %1 did not take", line.value);
    case TraceKind::EndHeldForList: return QStringLiteral("stopping once block 0 holds the BBL again");
    }
    return QString();
}

QString SessionTexts::noAnswer()
{
    return Texts::tr("The Qel did not answer. Check that it is switched on and connected, and "
                     "that the MIDI IN and MIDI OUT ports are not swapped.");
}

QString SessionTexts::outcomeMessage(const Ending &ending)
{
    switch (ending.outcome) {
    case UpdateOutcome::Success:
        // Whether the device runs it is known only once it answers Identify.
        return Texts::tr("The firmware %1 was written.").arg(FirmwareVersion::text(FirmwareVersion::carried()));
    case UpdateOutcome::NoImage:
        return Texts::tr("The firmware image could not be read, so nothing was sent to the device. "
                         "Please reinstall the updater and try again.");
    case UpdateOutcome::FlashUnhealthy:
        return Texts::tr("The device's flash memory has %1 blocks that were faulty from the factory "
                         "(at most 3 are allowed), so it cannot be updated safely. Nothing was "
                         "written. Please contact service.")
            .arg(ending.factoryDefects);
    case UpdateOutcome::NoSpace:
        return Texts::tr("The device's flash memory ran out of good blocks before the whole firmware "
                         "was written, so the device may not start. Please contact service.");
    case UpdateOutcome::ListWriteFailed:
        return Texts::tr("The firmware was written, but the device could not store its list of "
                         "faulty flash blocks, so it may not start. Please run the update again.");
    case UpdateOutcome::FirstListWriteFailed:
        return Texts::tr("The device could not store its list of faulty flash blocks, so no "
                         "firmware was written. Please run the update again; if it fails again, "
                         "contact service.");
    case UpdateOutcome::ListUnreadable:
        return Texts::tr("The device's answers about its list of faulty flash blocks did not agree, so "
                         "nothing was written. Please check the MIDI cable and run the update again.");
    case UpdateOutcome::FlashWornOut:
        return Texts::tr("The firmware was written, but so many of the device's flash blocks have gone bad "
                         "that its list of faulty blocks cannot hold them all. The flash is worn out: "
                         "please contact service.");
    case UpdateOutcome::Stalled:
        return Texts::tr("The device's answers kept getting lost at the same place, so the update stopped. "
                         "Please check the MIDI cable and the device, then run the update again.");
    case UpdateOutcome::DeviceSilent:
        return Texts::tr("The device stopped answering, so the update stopped. Please check the MIDI "
                         "cable and the device, then run the update again.");
    case UpdateOutcome::PortGone:
        return Texts::tr("The device's MIDI port went away: its interface was unplugged or switched off. "
                         "Please check the connection, connect again and run the update again.");
    case UpdateOutcome::PortLost:
        return Texts::tr("The MIDI port refused a message: the device or its cable went away. Please "
                         "check the connection, connect again and run the update again.");
    case UpdateOutcome::NotVerified:
        return Texts::tr("The firmware %1 was written, but it was not checked: this Qel cannot have "
                         "its pages read back, so \"Verify after writing\" is not possible with it.")
            .arg(FirmwareVersion::text(FirmwareVersion::carried()));
    case UpdateOutcome::ListLost:
        return Texts::tr("The device could not store its list of faulty flash blocks, and its old list "
                         "had to be cleared to make room. The device needs service: please contact "
                         "service before using it.");
    case UpdateOutcome::Cancelled:
        return Texts::tr("The update was stopped before it was complete. The device may not start "
                         "until the update has been run again.");
    }
    return QString();
}
