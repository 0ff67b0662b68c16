"""A private session bus for a benchmark's programs. Its configuration has no service folders,
so nothing installed (a desktop portal, a notification daemon) starts on it and what is
measured does not depend on what else the machine has."""
import subprocess


def start(folder):
    """The bus's process and its address; its configuration and socket go in `folder`."""
    with open(folder + "/bus.conf", "w") as f:
        f.write('<busconfig><type>session</type><listen>unix:dir=%s</listen><auth>EXTERNAL'
                '</auth><policy context="default"><allow own="*"/><allow send_destination="*" '
                'eavesdrop="true"/><allow eavesdrop="true"/></policy></busconfig>' % folder)
    bus = subprocess.Popen(["dbus-daemon", "--config-file=" + folder + "/bus.conf", "--nofork",
                            "--print-address=1"], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
    return bus, bus.stdout.readline().strip()
