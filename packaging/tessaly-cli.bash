# bash completion for tessaly-cli: its commands, each command's options and their values;
# disks and image files complete as file names.

_tessaly_cli() {
    local cur prev words cword
    _init_completion || return

    local commands="disks partitions register scan recover carve"
    local scan_options="--partition --fs --range --floppy --bad-sectors --memory-limit --json --quiet"

    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands --version --help" -- "$cur"))
        return
    fi

    case $prev in
        --fs)
            COMPREPLY=($(compgen -W "FAT16 FAT32 NTFS" -- "$cur")); return ;;
        --bad-sectors)
            COMPREPLY=($(compgen -W "ask retry-all skip-all" -- "$cur")); return ;;
        --saving-mode)
            COMPREPLY=($(compgen -W "auto fat1 fat2 contiguous" -- "$cur")); return ;;
        --deleted)
            COMPREPLY=($(compgen -W "include exclude only" -- "$cur")); return ;;
        --replace)
            COMPREPLY=($(compgen -W "ask yes-all no-all" -- "$cur")); return ;;
        --write-errors)
            COMPREPLY=($(compgen -W "ask abort skip" -- "$cur")); return ;;
        --types)
            COMPREPLY=($(compgen -W "doc xls ppt zip doc,xls,ppt,zip" -- "$cur")); return ;;
        --out)
            _filedir -d; return ;;
        --log|--load-log)
            _filedir '@(sav|SAV)'; return ;;
        --floppy)
            # disks takes --floppy IMAGE; scan and recover take --floppy alone.
            if [[ ${words[1]} == disks ]]; then _filedir; return; fi ;;
        --partition|--memory-limit|--ext|--after|--before|--folder)
            return ;;
    esac

    if [[ $cur == -* ]]; then
        local options
        case ${words[1]} in
            disks) options="--floppy --json" ;;
            partitions) options="--bad-sectors --json --quiet" ;;
            scan) options="$scan_options --log" ;;
            recover) options="$scan_options --out --load-log --folder --saving-mode --deleted
                              --ext --after --before --replace --write-errors --streams" ;;
            carve) options="--types --out --range --bad-sectors --json --quiet" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    case ${words[1]} in
        register) _filedir -d ;;
        *) _filedir ;;
    esac
} &&
    complete -F _tessaly_cli tessaly-cli
