// The C# binding against the simulated terminal (MOVAR_TERMINAL), through the real library.
// Prints one line per failed case and "N passed, N failed"; exits 1 when a case failed.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Net;
using System.Net.Sockets;
using System.Text;
using System.Threading;
using Movar;

sealed class Simulator : IDisposable
{
    readonly Process process;
    readonly List<string> lines = new List<string>();

    // movar-terminal on a free 127.0.0.x:1024 and on a pty linked at comLink, logging every byte.
    public Simulator(string comLink, params string[] options)
    {
        var start = new ProcessStartInfo(Environment.GetEnvironmentVariable("MOVAR_TERMINAL"),
                                         $"--tcp auto --pty-link {comLink} --log-bytes " + string.Join(" ", options))
        { UseShellExecute = false, RedirectStandardInput = true, RedirectStandardOutput = true };
        process = Process.Start(start);
        new Thread(() =>
        {
            for (string line; (line = process.StandardOutput.ReadLine()) != null;)
                lock (lines) { lines.Add(line); Monitor.PulseAll(lines); }
        }) { IsBackground = true }.Start();
        Ip = WaitFor(all => all.FirstOrDefault(l => l.StartsWith("tcp ")), 10).Split(' ', ':')[1];
    }

    public string Ip { get; }

    T WaitFor<T>(Func<List<string>, T> found, double seconds) where T : class
    {
        DateTime deadline = DateTime.UtcNow.AddSeconds(seconds);
        lock (lines)
            for (T result; ; Monitor.Wait(lines, 100))
            {
                if ((result = found(lines)) != null) return result;
                if (DateTime.UtcNow > deadline) throw new Exception("movar-terminal did not say it: " + string.Join(" | ", lines));
            }
    }

    // Every byte received, from the "<seconds> <baud> XX XX ..." lines.
    static byte[] Received(List<string> lines) =>
        lines.Select(l => l.Split(new[] { ' ' }, StringSplitOptions.RemoveEmptyEntries))
             .Where(f => f.Length > 2 && f[1].All(char.IsDigit))
             .SelectMany(f => f.Skip(2).Select(h => Convert.ToByte(h, 16))).ToArray();

    public void WaitReceived(byte[] wanted) =>
        WaitFor(all => Contains(Received(all), wanted) ? "" : null, 5);

    static bool Contains(byte[] all, byte[] part) =>
        Enumerable.Range(0, Math.Max(0, all.Length - part.Length + 1)).Any(k => all.Skip(k).Take(part.Length).SequenceEqual(part));

    public void Dispose()
    {
        process.StandardInput.Close();
        if (!process.WaitForExit(10000)) process.Kill();
    }
}

static class MovarTests
{
    static string scratch;

    static void Expect(bool holds, string what)
    {
        if (!holds) throw new Exception(what);
    }

    // What the simulator's --records N holds: record i is person i at a time derived from i.
    static List<Record> Stored(int count) =>
        Enumerable.Range(0, count).Select(i => new Record(i, new DateTime(2009, 1 + i % 12, 1 + i % 28, i % 24, i % 60, 0), 0)).ToList();

    static void ExpectRecords(List<Record> expected, List<Record> got) =>
        Expect(expected.SequenceEqual(got), $"{got.Count} records, first {got.FirstOrDefault()}; wanted {expected.Count}");

    static void DownloadOver(bool tcp)
    {
        using (var sim = new Simulator(Path.Combine(scratch, "com1"), "--records", "30", "--address", "7"))
        {
            Environment.SetEnvironmentVariable("MOVAR_COM1", Path.Combine(scratch, "com1"));
            var terminal = tcp ? new Terminal(sim.Ip) : new Terminal(com: 1, address: 7);
            string directory = Path.Combine(scratch, tcp ? "tcp" : "pty");
            ExpectRecords(Stored(30), terminal.Download(directory));
            ExpectRecords(Stored(30), Records.Read(Path.Combine(directory, "movar.dat")));
            Expect(File.ReadAllLines(Path.Combine(directory, "movar.txt"))[1] == "00000101:012009020200", "movar.txt line 2");
        }
    }

    static void LiveRecords()
    {
        using (var sim = new Simulator(Path.Combine(scratch, "com1"), "--live", "007B930E28C5", "--live", "01C8930E28C5"))
        {
            var terminal = new Terminal(sim.Ip);
            var got = terminal.Watch(TimeSpan.FromMilliseconds(50)).Take(2).ToList();
            ExpectRecords(new List<Record> { new Record(123, new DateTime(2009, 3, 14, 8, 5, 0), 7),
                                             new Record(456, new DateTime(2009, 3, 14, 8, 5, 0), 7) }, got);
            Expect(terminal.Realtime() == null, "a record after the two");
        }
    }

    // No record waits, so the watch is in its pause when the token is cancelled.
    static void WatchAsyncEndsWhenCancelled()
    {
        using (var sim = new Simulator(Path.Combine(scratch, "com1")))
        using (var cancel = new CancellationTokenSource())
        {
            var interval = TimeSpan.FromSeconds(60);
            var watch = new Terminal(sim.Ip).WatchAsync(interval, cancel.Token).GetAsyncEnumerator();
            var next = watch.MoveNextAsync().AsTask();
            Thread.Sleep(300);
            cancel.Cancel();
            try
            {
                Expect(next.Wait(TimeSpan.FromSeconds(30)), "still in the 60 s pause after the token was cancelled");
                Expect(false, "the watch ended without OperationCanceledException");
            }
            catch (AggregateException ended) when (ended.InnerException is OperationCanceledException) { }
            watch.DisposeAsync().AsTask().Wait();
        }
    }

    static void NameByteForByte()
    {
        using (var sim = new Simulator(Path.Combine(scratch, "com1")))
        {
            Encoding latin1 = Encoding.GetEncoding(28591);
            new Terminal(sim.Ip).SendName(0x0105, "Zoë Müller", latin1);
            byte[] wire = latin1.GetBytes("Zoë Müller");
            sim.WaitReceived(new byte[] { 0x15, 0x01, (byte)(wire.Length + 2), (byte)(253 - wire.Length), 0x01, 0x05 }.Concat(wire).ToArray());
        }
    }

    static void RefusedNamesTheAddress()
    {
        using (var held = new Socket(AddressFamily.InterNetwork, SocketType.Stream, ProtocolType.Tcp))
        {
            // Bound, not listening, and not shared with a simulator that binds with SO_REUSEADDR.
            held.SetSocketOption(SocketOptionLevel.Socket, SocketOptionName.ReuseAddress, false);
            for (int host = 2; held.LocalEndPoint == null && host < 255; ++host)
                try { held.Bind(new IPEndPoint(IPAddress.Parse($"127.0.0.{host}"), 1024)); } catch (SocketException) { }
            string ip = ((IPEndPoint)held.LocalEndPoint).Address.ToString();
            try
            {
                new Terminal(ip).Download(Path.Combine(scratch, "refused"));
                Expect(false, "no exception");
            }
            catch (MovarConnectException failure)
            {
                Expect((int)failure.Result == 1 && failure.Reason.Contains(ip) && failure.Code == MovarErrorCode.Connect,
                       failure.Message);
            }
        }
    }

    static void TwoThreadsTwoDirectories()
    {
        using (var first = new Simulator(Path.Combine(scratch, "com1"), "--records", "40"))
        using (var second = new Simulator(Path.Combine(scratch, "com2"), "--records", "90"))
        {
            var results = new List<Record>[2];
            var failures = new Exception[2];
            var ips = new[] { first.Ip, second.Ip };
            var threads = Enumerable.Range(0, 2).Select(k => new Thread(() =>
            {
                try { results[k] = new Terminal(ips[k]).Download(Path.Combine(scratch, "thread" + k)); }
                catch (Exception e) { failures[k] = e; }
            })).ToList();
            threads.ForEach(t => t.Start());
            threads.ForEach(t => t.Join(60000));
            foreach (var failure in failures) if (failure != null) throw failure;
            ExpectRecords(Stored(40), results[0]);
            ExpectRecords(Stored(90), results[1]);
            ExpectRecords(Stored(90), Records.Read(Path.Combine(scratch, "thread1", "movar.dat")));
        }
    }

    // person 123 at 2009-03-14 08:05 on 7; both page flags over a low part of 2; month 13; a stray byte
    static void RecordFile()
    {
        string path = Path.Combine(scratch, "movar.dat");
        File.WriteAllBytes(path, Enumerable.Range(0, 19).Select(k => Convert.ToByte("007B930E28C50001A1C50080FFFFFD1F1F3F00".Substring(2 * k, 2), 16)).ToArray());
        foreach (bool sixtyFirst in new[] { false, true })
            ExpectRecords(new List<Record> { new Record(123, new DateTime(2009, 3, 14, 8, 5, 0), 7),
                                             new Record(1, new DateTime(2010, 1, 5, 0, 0, 0), sixtyFirst ? 62 : 92),
                                             new Record(65535, null, 0) }, Records.Read(path, sixtyFirst));
    }

    static int Main()
    {
        scratch = Path.Combine(Path.GetTempPath(), "movar-dotnet-" + Guid.NewGuid().ToString("N"));
        Directory.CreateDirectory(scratch);
        for (int n = 1; n <= 9; ++n) Environment.SetEnvironmentVariable($"MOVAR_COM{n}", "/nonexistent/movar-test-port");
        var cases = new Dictionary<string, Action>
        {
            { "download over TCP", () => DownloadOver(true) },
            { "download over a pty", () => DownloadOver(false) },
            { "live records", LiveRecords },
            { "WatchAsync ends when its token is cancelled", WatchAsyncEndsWhenCancelled },
            { "a name byte for byte", NameByteForByte },
            { "a refused connection names the address", RefusedNamesTheAddress },
            { "two threads, two directories", TwoThreadsTwoDirectories },
            { "a record file", RecordFile },
        };
        int passed = 0, failed = 0;
        foreach (var test in cases)
        {
            try { test.Value(); ++passed; }
            catch (Exception e) { ++failed; Console.WriteLine($"FAILED {test.Key}: {e.GetType().Name}: {e.Message}"); }
        }
        Directory.Delete(scratch, true);
        Console.WriteLine($"{passed} passed, {failed} failed");
        return failed == 0 ? 0 : 1;
    }
}
