// Time-attendance terminals from C# through the movar library (w_movar.dll, libw_movar.so), with
// records as objects and failures as exceptions that say why. Movar.Native, the declarations of
// every entry point, is generated from exports.list beside this file. One source for 32-bit and
// 64-bit hosts: every number is an int, every pointer an IntPtr or an array.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;
using System.Threading.Tasks;

namespace Movar
{
    public sealed class Record : IEquatable<Record>
    {
        public Record(int person, DateTime? time, int machine)
        {
            Person = person;
            Time = time;
            Machine = machine;
        }

        public int Person { get; }
        public DateTime? Time { get; }  // null when the stored fields name no real date
        public int Machine { get; }

        public bool Equals(Record other) =>
            other != null && Person == other.Person && Time == other.Time && Machine == other.Machine;
        public override bool Equals(object other) => Equals(other as Record);
        public override int GetHashCode() => Person ^ Machine << 16 ^ Time.GetHashCode();
        public override string ToString() =>
            $"person {Person} at {(Time.HasValue ? Time.Value.ToString("yyyy-MM-dd HH:mm") : "(no date)")} on machine {Machine}";
    }

    // An entry point gave its failure result; Reason is the library's words for why, Code its kind.
    // Each kind has its own subclass (MovarConnectException, MovarRecordFileException, ...),
    // generated with MovarErrorCode from failures.list.
    public partial class MovarException : Exception
    {
        public MovarException(string what, object result, string reason, MovarErrorCode code)
            : base($"{what} failed ({result})" + (reason.Length > 0 ? ": " + reason : ""))
        {
            What = what;
            Result = result;
            Reason = reason;
            Code = code;
        }

        public string What { get; }
        public object Result { get; }
        public string Reason { get; }
        public MovarErrorCode Code { get; }

        // The calling thread's reason for its last failed call.
        internal static MovarException Last(string what, object result) =>
            Of(what, result, Native.String(Native.movar_last_error()), Native.movar_last_error_code());
    }

    // One report per outage of a watch: the failure that began it, none while it lasts.
    sealed class Outages
    {
        readonly Action<MovarException> onError;
        bool away;

        public Outages(Action<MovarException> onError)
        {
            this.onError = onError ?? (failure => Trace.TraceWarning($"movar: {failure.Message} (polling on)"));
        }

        public void Failed(MovarException failure)
        {
            if (!away) onError(failure);
            away = true;
        }

        public void Answered() => away = false;
    }

    // A text as the counted parameters take it: count -1 (never counted) at -8, length at -4,
    // the bytes and a zero, in unmanaged memory that lives until Dispose.
    public sealed class CountedText : IDisposable
    {
        IntPtr block;

        public CountedText(byte[] text)
        {
            text = text ?? new byte[0];
            block = Marshal.AllocHGlobal(8 + text.Length + 1);
            Marshal.WriteInt32(block, 0, -1);
            Marshal.WriteInt32(block, 4, text.Length);
            Marshal.Copy(text, 0, block + 8, text.Length);
            Marshal.WriteByte(block, 8 + text.Length, 0);
        }

        public IntPtr Pointer => block + 8;

        public void Dispose()
        {
            if (block != IntPtr.Zero) Marshal.FreeHGlobal(block);
            block = IntPtr.Zero;
        }
    }

    public static partial class Native
    {
        // A zero-terminated text argument in the bytes the platform's A calls take (the ANSI code
        // page on Windows, UTF-8 elsewhere); null stays a null pointer.
        public static byte[] Text(string text)
        {
            if (text == null) return null;
            IntPtr ansi = Marshal.StringToHGlobalAnsi(text);
            try
            {
                int length = 0;
                while (Marshal.ReadByte(ansi, length) != 0) ++length;
                var bytes = new byte[length + 1];
                Marshal.Copy(ansi, bytes, 0, length);
                return bytes;
            }
            finally { Marshal.FreeHGlobal(ansi); }
        }
        public static byte[] Text(byte[] bytes)
        {
            if (bytes == null) return null;
            var text = new byte[bytes.Length + 1];
            Array.Copy(bytes, text, bytes.Length);
            return text;
        }
        // A text result: a zero-terminated text in the library's memory.
        public static string String(IntPtr text) => text == IntPtr.Zero ? "" : Marshal.PtrToStringAnsi(text);
    }

    public static class Records
    {
        public const int Size = 6;

        // One 6-byte record. The page flags of byte 3 add 60 and 30 to the machine number; with
        // sixtyFirst a record with both set reads as +60 (how the plain downloads convert it).
        public static Record Decode(byte[] b, int at, bool sixtyFirst = false, int? machine = null)
        {
            bool sixty = (b[at + 3] & 0x80) != 0, thirty = (b[at + 3] & 0x40) != 0;
            int bits = (b[at + 4] >> 5) * 4 + (b[at + 5] >> 6) + (sixty ? 60 : 0) + (thirty && !(sixtyFirst && sixty) ? 30 : 0);
            return new Record(b[at] * 256 + b[at + 1],
                              Time(2000 + (b[at + 2] >> 4), b[at + 2] & 0x0F, b[at + 3] & 0x3F, b[at + 4] & 0x1F, b[at + 5] & 0x3F),
                              machine ?? bits);
        }

        // The records of a binary record file; a trailing partial record is ignored.
        public static List<Record> Read(string path, bool sixtyFirst = false, int? machine = null)
        {
            byte[] data = File.ReadAllBytes(path);
            var records = new List<Record>();
            for (int at = 0; at + Size <= data.Length; at += Size) records.Add(Decode(data, at, sixtyFirst, machine));
            return records;
        }

        // A real-time poll's digits (person 6, year 4, month, day, hour, minute 2 each, machine);
        // twenty zeros are no record.
        public static Record FromLiveText(string digits)
        {
            if (digits.Trim('0').Length == 0) return null;
            Func<int, int, int> field = (from, length) => int.Parse(digits.Substring(from, length));
            return new Record(field(0, 6), Time(field(6, 4), field(10, 2), field(12, 2), field(14, 2), field(16, 2)),
                              int.Parse(digits.Substring(18)));
        }

        static DateTime? Time(int year, int month, int day, int hour, int minute)
        {
            if (month < 1 || month > 12 || day < 1 || day > DateTime.DaysInMonth(year, month) || hour > 23 || minute > 59)
                return null;
            return new DateTime(year, month, day, hour, minute, 0);
        }
    }

    // new Terminal("10.0.0.5") or new Terminal(com: 1, address: 7) (the serial search starts at COM com).
    public sealed class Terminal
    {
        const int NoValue = 65535;     // the SN queries' failure value (a stored 65535 reads the same)
        const int UnitFailed = 255;    // the fingerprint unit's failure value

        readonly byte[] ip;
        readonly int com, address;

        public Terminal(string ip)
        {
            if (ip == null) throw new ArgumentNullException(nameof(ip));
            this.ip = Native.Text(ip);
            Ip = ip;
        }

        public Terminal(int com, int address = 1)
        {
            this.com = com;
            this.address = address;
        }

        public string Ip { get; }
        // What names and voice texts given as strings are encoded to; null: code page 936 (GBK).
        public Encoding Charset { get; set; }

        public override string ToString() => ip != null ? $"Terminal({Ip})" : $"Terminal(COM{com}, address {address})";

        // Records

        // Downloads the terminal's records into directory (movar.dat, movar.txt and downbak/ as
        // the library writes them; movar<number>.* with number) and returns them. asMachine
        // addresses that machine at the IP; the records take the machine number the library gives
        // their text lines.
        public List<Record> Download(string directory, int? number = null, int? asMachine = null)
        {
            if (number.HasValue && asMachine.HasValue) throw new ArgumentException("Download takes number or asMachine, not both");
            return InRecordDirectory(directory, path =>
            {
                if (number.HasValue)
                {
                    Command(null, lan => Native.LANMANYDOWNLOAD(lan, number.Value), "Download");
                    return Records.Read(Path.Combine(path, $"movar{number.Value}.dat"));
                }
                if (asMachine.HasValue)
                {
                    Command(null, lan => Native.LANDOWNLOADADDR(lan, asMachine.Value), "Download");
                    string[] lines = File.ReadAllLines(Path.Combine(path, "movar.txt"));
                    int machine = lines.Length > 0 ? int.Parse(lines[0].Substring(19, 2)) : asMachine.Value;
                    return Records.Read(Path.Combine(path, "movar.dat"), machine: machine);
                }
                Command(Native.DOWNLOAD, Native.LANDOWNLOAD, "Download");
                return Records.Read(Path.Combine(path, "movar.dat"), sixtyFirst: true);
            });
        }

        // The newest live record, or null when none is waiting.
        public Record Realtime()
        {
            string digits = Native.String(ip != null ? Native.LANREALDOWNLOAD(ip) : Native.REALDOWNLOAD(address, com));
            Record record = Records.FromLiveText(digits);
            if (record == null && Native.movar_last_error_code() != 0) throw MovarException.Last("Realtime", digits);
            return record;
        }

        // Each new live record once, polling every interval while none is waiting and going on
        // while the terminal is away. The first failure of each outage goes to onError (by default
        // Trace.TraceWarning); a cancelled token ends the watch with OperationCanceledException
        // within one interval.
        public IEnumerable<Record> Watch(TimeSpan interval, CancellationToken cancellation = default(CancellationToken),
                                         Action<MovarException> onError = null)
        {
            var outages = new Outages(onError);
            Record last = null;
            while (true)
            {
                cancellation.ThrowIfCancellationRequested();
                Record record = Poll(outages);
                if (record == null)
                {
                    cancellation.WaitHandle.WaitOne(interval);
                    continue;
                }
                if (!record.Equals(last)) yield return record;  // one whose acknowledgement was lost comes again
                last = record;
            }
        }

        // As Watch, with each poll on a pool thread and the pause a cancellable delay.
        public IAsyncEnumerable<Record> WatchAsync(TimeSpan interval, CancellationToken cancellation = default(CancellationToken),
                                                   Action<MovarException> onError = null) =>
            new LiveRecords(this, interval, cancellation, onError);

        Record Poll(Outages outages)
        {
            try
            {
                Record record = Realtime();
                outages.Answered();
                return record;
            }
            catch (MovarException failure)
            {
                outages.Failed(failure);
                return null;
            }
        }

        // mcs has no async iterators: the enumerator of WatchAsync, written out.
        sealed class LiveRecords : IAsyncEnumerable<Record>
        {
            readonly Terminal terminal;
            readonly TimeSpan interval;
            readonly CancellationToken cancellation;
            readonly Action<MovarException> onError;

            public LiveRecords(Terminal terminal, TimeSpan interval, CancellationToken cancellation, Action<MovarException> onError)
            {
                this.terminal = terminal;
                this.interval = interval;
                this.cancellation = cancellation;
                this.onError = onError;
            }

            public IAsyncEnumerator<Record> GetAsyncEnumerator(CancellationToken also = default(CancellationToken)) =>
                new Enumerator(this, CancellationTokenSource.CreateLinkedTokenSource(cancellation, also));

            sealed class Enumerator : IAsyncEnumerator<Record>
            {
                readonly LiveRecords watch;
                readonly CancellationTokenSource cancellation;
                readonly Outages outages;

                public Enumerator(LiveRecords watch, CancellationTokenSource cancellation)
                {
                    this.watch = watch;
                    this.cancellation = cancellation;
                    outages = new Outages(watch.onError);
                }

                public Record Current { get; private set; }

                public ValueTask<bool> MoveNextAsync() => new ValueTask<bool>(Next());

                async Task<bool> Next()
                {
                    CancellationToken token = cancellation.Token;
                    while (true)
                    {
                        token.ThrowIfCancellationRequested();
                        Record record = await Task.Run(() => watch.terminal.Poll(outages), token);
                        if (record == null)
                        {
                            await Task.Delay(watch.interval, token);
                            continue;
                        }
                        if (record.Equals(Current)) continue;
                        Current = record;
                        return true;
                    }
                }

                public ValueTask DisposeAsync()
                {
                    cancellation.Dispose();
                    return default(ValueTask);
                }
            }
        }

        public void Erase() => Command(Native.DELETE, Native.LANDELETE);
        public void Restore() => Command(Native.RESTORE, null);
        public void RestoreAll() => Command(Native.RESTOREALL, Native.LANRESTOREALL);
        // The COM port where the terminal answered, searching from com.
        public int Find() => Run(Native.TESTCOM, null, port => port >= 0, "Find");

        // Clock and identity: the seven clock bytes go out as given.
        public void SetClock(byte[] b)
        {
            if (b == null || b.Length != 7) throw new ArgumentException("the clock is seven bytes");
            Command((a, p) => Native.SETTIME(a, p, b[0], b[1], b[2], b[3], b[4], b[5], b[6]),
                    lan => Native.LANSETTIME(lan, b[0], b[1], b[2], b[3], b[4], b[5], b[6]));
        }
        public void SetMachineId(int id) => Command((a, p) => Native.SETMACHINEID(a, p, id), null);
        public void SetPassword(int password) => Command((a, p) => Native.SETPASSWORD(a, p, password), null);
        public void SetLockNumber(int number) => Command((a, p) => Native.SETLOCKNUM(a, p, number), null);
        public void ClearLockNumber() => Command(Native.DELLOCKNUM, null);
        public void Answer(int value) => Command(null, lan => Native.LANANSWER(lan, value));

        // Persons
        public void EnableAll() => Command(Native.ENABLEALL, Native.LANENABLEALL);
        public void DisableAll() => Command(Native.DISABLEALL, Native.LANDISABLEALL);
        public void EnablePerson(int person) => Command((a, p) => Native.ENABLEPERSON(a, p, person), lan => Native.LANENABLEPERSON(lan, person));
        public void DisablePerson(int person) => Command((a, p) => Native.DISABLEPERSON(a, p, person), lan => Native.LANDISABLEPERSON(lan, person));

        // SNs and cards
        public void SetSn(int entry, int sn) => Command((a, p) => Native.SETSN(a, p, entry, sn), lan => Native.LANSETSN(lan, entry, sn));
        public void DeleteSn(int entry) => Command((a, p) => Native.DELSN(a, p, entry), lan => Native.LANDELSN(lan, entry));
        public int Sn(int entry) => Run((a, p) => Native.WHATSN(a, p, entry), null, Answered(NoValue), "Sn");
        public int SnLength() => Run(Native.GETSNLENTH, null, Answered(NoValue), "SnLength");
        public void SetCardMode(int mode) => Command((a, p) => Native.SETSNORCARD(a, p, mode), null);
        public void SetCardWait(int time) => Command((a, p) => Native.SETCARDWAITTIME(a, p, time), null);
        public void AddCardOnly(int card) => Command((a, p) => Native.SENDONLYCARD(a, p, card), null);
        public void RemoveCardOnly(int card) => Command((a, p) => Native.DELONLYCARD(a, p, card), null);
        public void ClearCardOnly() => Command(Native.DELALLONLYCARD, null);

        // Doors, bell, line speed
        public void SetDoorMode(int mode) => Command((a, p) => Native.SETOPENMODE(a, p, mode), lan => Native.LANSETOPENMODE(lan, mode));
        public void SetDoorTime(int time) => Command((a, p) => Native.SETOPENTIME(a, p, time), lan => Native.LANSETOPENTIME(lan, time));
        public void SwitchDoor(int open) => Command((a, p) => Native.SETOPENCLOSE(a, p, open), lan => Native.LANSETOPENCLOSE(lan, open));
        public void SetBell(int b1, int b2, int b3) => Command((a, p) => Native.SETBELL(a, p, b1, b2, b3), null);
        public void SetBaudRate(int code, byte[] m)
        {
            if (m == null || m.Length != 12) throw new ArgumentException("the rate-change message is twelve bytes");
            Command((a, p) => Native.SETBAUDRATE(p, code, m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8], m[9], m[10], m[11]), null);
        }

        // Names and voice: bytes as given, strings encoded to encoding (default Charset).
        public void SendName(int person, string name, Encoding encoding = null) => SendName(person, Encode(name, encoding));
        public void SendName(int person, byte[] name)
        {
            using (var counted = new CountedText(name))
                Command((a, p) => Native.SENDNAME(a, p, person, Native.Text(name)), lan => Native.LANSENDNAME(lan, person, counted.Pointer));
        }
        public void RenumberName(int first, int second) => Command((a, p) => Native.CHANGENAMEID(a, p, first, second), lan => Native.LANCHANGENAMEID(lan, first, second));
        public void ClearNames() => Command(Native.DELETEALLNAME, Native.LANDELETEALLNAME);
        public void SendVoice(int[] f, string text, Encoding encoding = null) => SendVoice(f, Encode(text, encoding));
        public void SendVoice(int[] f, byte[] text)
        {
            if (f == null || f.Length != 13) throw new ArgumentException("a voice record has thirteen fields");
            using (var counted = new CountedText(text))
                Command((a, p) => Native.SENDVOICE(a, p, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10], f[11], f[12], counted.Pointer),
                        lan => Native.LANSENDVOICE(lan, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10], f[11], f[12], counted.Pointer));
        }
        public void DeleteVoice(int voice) => Command((a, p) => Native.DELVOICE(a, p, voice), lan => Native.LANDELVOICE(lan, voice));
        public void ClearVoices() => Command(Native.DELALLVOICE, Native.LANDELALLVOICE);

        // Fingerprint unit: each gives the unit's result code; files in FINGERREC/ below directory.
        public int FingerprintIds(string directory) =>
            InRecordDirectory(directory, path => Run(Native.GETIDLIST, null, Answered(UnitFailed), "FingerprintIds"));
        public int GetFingerprint(string directory, int id, int attribute, int finger) =>
            InRecordDirectory(directory, path => Run((a, p) => Native.GETIDFPREC(a, p, id, attribute, finger), null, Answered(UnitFailed), "GetFingerprint"));
        public int SendFingerprint(string directory, int id, int finger) =>
            InRecordDirectory(directory, path => Run((a, p) => Native.SENDIDFPREC(a, p, id, 0, finger), null, Answered(UnitFailed), "SendFingerprint"));
        public int DeleteFingerprint(int id, int attribute, int finger) =>
            Run((a, p) => Native.DELIDFPREC(a, p, id, attribute, finger), null, Answered(UnitFailed), "DeleteFingerprint");
        public int DeleteAllFingerprints() => Run(Native.DELIDFPALL, null, Answered(UnitFailed), "DeleteAllFingerprints");
        public int FingerprintVersion() => Run((a, p) => Native.GETFDAVER(p), null, Answered(UnitFailed), "FingerprintVersion");

        // Device backup: zwbak.txt in directory.
        public void TriggerBackup(int mode) => Command((a, p) => Native.ZWBACKUP(a, p, mode), null);
        public string ReceiveBackup(string directory) =>
            InRecordDirectory(directory, path => { Command((a, p) => Native.RXZWFILE(p), null, "ReceiveBackup"); return Path.Combine(path, "zwbak.txt"); });
        public void SendBackup(string directory) =>
            InRecordDirectory(directory, path => Command((a, p) => Native.TXZWFILE(p), null, "SendBackup"));

        // One call on whichever link the terminal is on: (address, port, ...) or (ip, ...).
        int Run(Func<int, int, int> serial, Func<byte[], int> lan, Func<int, bool> ok, string what)
        {
            if ((ip != null ? (object)lan : serial) == null)
                throw new InvalidOperationException($"{this}: {what} exists only {(serial == null ? "over TCP" : "on a serial line")}");
            int result = ip != null ? lan(ip) : serial(address, com);
            if (!ok(result)) throw MovarException.Last(what, result);
            return result;
        }

        int Command(Func<int, int, int> serial, Func<byte[], int> lan, [CallerMemberName] string what = "") =>
            Run(serial, lan, result => result == 0, what);

        // A query's failure value may also be a real answer; the failure code tells them apart.
        static Func<int, bool> Answered(int failed) => result => result != failed || Native.movar_last_error_code() == 0;

        byte[] Encode(string text, Encoding encoding) => (encoding ?? Charset ?? Encoding.GetEncoding(936)).GetBytes(text);

        // The calling thread's record directory for the calls of body, made when missing.
        static T InRecordDirectory<T>(string directory, Func<string, T> body)
        {
            string path = Path.GetFullPath(directory);
            Directory.CreateDirectory(path);
            if (Native.movar_set_record_directory(Native.Text(path)) != 0) throw MovarException.Last("movar_set_record_directory", 1);
            try { return body(path); }
            finally { Native.movar_set_record_directory(null); }
        }
    }
}
